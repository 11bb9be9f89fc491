#include "support/gif_writer.h"

#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>

namespace qvad::testing {
namespace {

int appendOutput(GifFileType* gif, const GifByteType* data, int n) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), std::size_t(n));
  return n;
}

[[noreturn]] void die(const char* what, int code) {
  std::fprintf(stderr, "gif_writer: %s failed: %s\n", what, GifErrorString(code));
  std::abort();
}

// giflib wants tables of 2, 4, ... 256 entries: pad with black.
ColorMapObject* makeMap(const std::vector<std::uint32_t>& colours) {
  if (colours.empty()) return nullptr;
  int n = 2;
  while (n < int(colours.size()) && n < 256) n *= 2;
  std::vector<GifColorType> c(std::size_t(n), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < colours.size() && i < 256; ++i)
    c[i] = {GifByteType(colours[i] >> 16), GifByteType(colours[i] >> 8), GifByteType(colours[i])};
  return GifMakeMapObject(n, c.data());
}

}  // namespace

std::string writeGif(const GifWriterSpec& spec) {
  std::string out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, appendOutput, &err);
  if (!gif) die("EGifOpen", err);
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = makeMap(spec.palette);
  if (EGifPutScreenDesc(gif, spec.width, spec.height, 8, 0, global) == GIF_ERROR) die("screen", gif->Error);
  GifFreeMapObject(global);
  if (spec.loopForever) {
    const GifByteType loop[3] = {1, 0, 0};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(gif, 3, loop);
    EGifPutExtensionTrailer(gif);
  }
  for (const auto& f : spec.frames) {
    if (f.staleDelayCs >= 0) {
      GraphicsControlBlock stale{DISPOSE_PREVIOUS, false, f.staleDelayCs, 0};
      GifByteType ext[4];
      std::size_t len = EGifGCBToExtension(&stale, ext);
      if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(len), ext) == GIF_ERROR) die("gcb", gif->Error);
    }
    if (f.graphicsControl) {
      GraphicsControlBlock gcb{f.disposal, false, f.delayCs, f.transparentIndex};
      GifByteType ext[4];
      std::size_t len = EGifGCBToExtension(&gcb, ext);
      if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(len), ext) == GIF_ERROR) die("gcb", gif->Error);
    }
    ColorMapObject* local = makeMap(f.palette);
    if (EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, local) == GIF_ERROR)
      die("image", gif->Error);
    GifFreeMapObject(local);
    std::vector<int> rows;
    if (f.interlace) {
      const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int y = start[p]; y < f.height; y += step[p]) rows.push_back(y);
    } else {
      for (int y = 0; y < f.height; ++y) rows.push_back(y);
    }
    std::vector<GifPixelType> line(std::size_t(f.width));
    for (int y : rows) {
      for (int x = 0; x < f.width; ++x) {
        std::size_t i = std::size_t(y) * f.width + x;
        line[std::size_t(x)] = i < f.pixels.size() ? f.pixels[i] : 0;
      }
      if (EGifPutLine(gif, line.data(), f.width) == GIF_ERROR) die("line", gif->Error);
    }
  }
  if (EGifCloseFile(gif, &err) == GIF_ERROR) die("close", err);
  return out;
}

GifWriterFrame solidFrame(int left, int top, int width, int height, std::uint8_t index, int delayCs) {
  GifWriterFrame f;
  f.left = left;
  f.top = top;
  f.width = width;
  f.height = height;
  f.pixels.assign(std::size_t(width) * std::size_t(height), index);
  f.delayCs = delayCs;
  return f;
}

GifWriterSpec solidFrames(int side, int count) {
  GifWriterSpec s;
  s.width = s.height = side;
  s.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  for (int i = 0; i < count; ++i) s.frames.push_back(solidFrame(0, 0, side, side, std::uint8_t(i % 4)));
  return s;
}

std::string damageImageData(std::string gif, std::size_t index) {
  std::size_t at = gif.find(',');
  for (std::size_t i = 0; i < index && at != std::string::npos; ++i) at = gif.find(',', at + 1);
  if (at == std::string::npos) std::abort();
  // After the image descriptor (10 bytes) and the LZW code size byte.
  const std::size_t block = at + 10 + 1;
  for (std::size_t i = block + 1; i < block + 1 + std::uint8_t(gif[block]); ++i) gif[i] = char(0xFF);
  return gif;
}

std::string makeBadgeGif(int side, int frames, int delayCs) {
  GifWriterSpec spec;
  spec.width = spec.height = side;
  for (int i = 0; i < 256; ++i) spec.palette.push_back(std::uint32_t(i * 0x010101 ^ (i << 16)));
  for (int k = 0; k < frames; ++k) {
    GifWriterFrame f = solidFrame(0, 0, side, side, 0, delayCs);
    // Bands that move with the frame number, with some texture, so the file compresses
    // about as well as a drawn badge (a 400x400, 100-frame one is about 2 MB).
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x)
        f.pixels[std::size_t(y) * side + x] = std::uint8_t(((x + k * 3) / 8 + (y / 8)) * 16 + ((x / 4 + y / 4 + k) % 3));
    spec.frames.push_back(std::move(f));
  }
  return writeGif(spec);
}

}  // namespace qvad::testing
