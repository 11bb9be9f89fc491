// qvad-make-badge: draws the sandbox's floating ad badge, an animated GIF of our own,
// with giflib's encoder. Usage: qvad-make-badge OUTPUT.gif
// The output is committed as server/assets/badge.gif; run again after changing a drawing.
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 200;  // 100 points at 2 pixels per point
constexpr int kFrames = 16;
constexpr int kDelayCs = 8;  // hundredths of a second per frame
constexpr double kPi = 3.14159265358979323846;

// Palette: 0 transparent, 1 white, 2 a dark shade for the glyph, 3..26 a hue ramp.
constexpr int kTransparent = 0, kWhite = 1, kInk = 2, kRampStart = 3, kRampSize = 24;

GifColorType hueColor(double h) {  // h in [0, 1): a warm-to-cool ramp
  const double r = 0.5 + 0.5 * std::cos(2 * kPi * (h + 0.00));
  const double g = 0.5 + 0.5 * std::cos(2 * kPi * (h + 0.33));
  const double b = 0.5 + 0.5 * std::cos(2 * kPi * (h + 0.67));
  auto c = [](double v) { return static_cast<GifByteType>(std::clamp(40 + v * 200, 0.0, 255.0)); };
  return {c(r), c(g), c(b)};
}

// Signed distance to a rounded square of half-side `half` and corner radius `r`.
double roundedSquare(double x, double y, double half, double r) {
  const double qx = std::fabs(x) - half + r, qy = std::fabs(y) - half + r;
  return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
}

int pixelAt(int frame, int px, int py) {
  const double x = px + 0.5 - kSize / 2.0, y = py + 0.5 - kSize / 2.0;
  if (roundedSquare(x, y, kSize / 2.0 - 2, 34) > 0) return kTransparent;
  const double t = static_cast<double>(frame) / kFrames;
  const double radius = std::hypot(x, y);
  const double angle = std::atan2(y, x) / (2 * kPi) + 0.5;  // 0..1
  // A ring with a bright arc that sweeps once per loop.
  if (radius > 62 && radius < 74) {
    const double d = std::fmod(angle - t + 1.0, 1.0);
    return d < 0.3 ? kWhite : kRampStart + static_cast<int>(std::fmod(0.55 + t, 1.0) * (kRampSize - 1));
  }
  // A play triangle in the middle, pulsing slightly.
  const double s = 1.0 + 0.08 * std::sin(2 * kPi * t);
  const double tx = x / s + 8, ty = y / s;
  if (tx > -24 && tx < 30 && std::fabs(ty) < (30 - tx) * 0.6) return kWhite;
  if (radius <= 62 && radius > 56) return kInk;
  // Background: the hue ramp runs diagonally and drifts with time.
  const double h = std::fmod((px + py) / (4.0 * kSize) + t, 1.0);
  return kRampStart + static_cast<int>(h * (kRampSize - 1));
}

bool putLoopExtension(GifFileType* gif) {
  const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  const GifByteType loop[] = {1, 0, 0};  // loop for ever
  return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, sizeof app, app) == GIF_OK && EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK &&
         EGifPutExtensionTrailer(gif) == GIF_OK;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qvad-make-badge OUTPUT.gif\n");
    return 2;
  }
  std::vector<GifColorType> colors(32);
  colors[kTransparent] = {0, 0, 0};
  colors[kWhite] = {255, 255, 255};
  colors[kInk] = {32, 32, 48};
  for (int i = 0; i < kRampSize; ++i) colors[kRampStart + i] = hueColor(static_cast<double>(i) / kRampSize);
  ColorMapObject* map = GifMakeMapObject(32, colors.data());

  int err = 0;
  GifFileType* gif = EGifOpenFileName(argv[1], false, &err);
  if (!gif || !map) {
    std::fprintf(stderr, "qvad-make-badge: cannot write %s: %s\n", argv[1], GifErrorString(err));
    GifFreeMapObject(map);
    return 1;
  }
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, kSize, kSize, 5, kTransparent, map) == GIF_OK && putLoopExtension(gif);
  std::vector<GifPixelType> row(kSize);
  for (int f = 0; ok && f < kFrames; ++f) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_BACKGROUND;
    gcb.DelayTime = kDelayCs;
    gcb.TransparentColor = kTransparent;
    GifByteType ext[4];
    EGifGCBToExtension(&gcb, ext);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof ext, ext) == GIF_OK &&
         EGifPutImageDesc(gif, 0, 0, kSize, kSize, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) row[x] = static_cast<GifPixelType>(pixelAt(f, x, y));
      ok = EGifPutLine(gif, row.data(), kSize) == GIF_OK;
    }
  }
  if (!ok) std::fprintf(stderr, "qvad-make-badge: encoding failed: %s\n", GifErrorString(gif->Error));
  if (EGifCloseFile(gif, &err) != GIF_OK) ok = false;
  GifFreeMapObject(map);
  return ok ? 0 : 1;
}
