#include "ui/gif/gif_scale.h"

#include <algorithm>
#include <cmath>

namespace qvad {
namespace {

// For each output index, the source pixels it covers and their shares in 1/65536, which
// add up to exactly 65536: a flat area stays the same colour.
struct Taps {
  std::vector<int> first, count;
  std::vector<std::uint32_t> weight;  // count[d] entries per output index, in order
  std::vector<std::size_t> offset;
};

Taps taps(int sourceLength, int outputLength) {
  Taps t;
  const double step = double(sourceLength) / outputLength;
  for (int d = 0; d < outputLength; ++d) {
    const double a = d * step, b = std::min(double(sourceLength), (d + 1) * step);
    const int i0 = int(a), i1 = std::min(sourceLength, int(std::ceil(b)));
    t.first.push_back(i0);
    t.count.push_back(i1 - i0);
    t.offset.push_back(t.weight.size());
    std::uint32_t left = 65536;
    for (int i = i0; i < i1; ++i) {
      const double cover = std::min(b, i + 1.0) - std::max(a, double(i));
      const auto w = i + 1 == i1 ? left : std::min(left, std::uint32_t(std::lround(cover / step * 65536)));
      t.weight.push_back(w);
      left -= w;
    }
  }
  return t;
}

// One output pixel from `count` source pixels `stride` apart.
inline std::uint32_t blend(const std::uint32_t* p, std::size_t stride, const std::uint32_t* w, int count) {
  // The shares add up to 65536, so a channel's sum stays below 2^24.
  std::uint32_t a = 0, r = 0, g = 0, b = 0;
  for (int k = 0; k < count; ++k, p += stride) {
    const std::uint32_t v = *p, wk = w[k];
    a += (v >> 24) * wk;
    r += ((v >> 16) & 0xFF) * wk;
    g += ((v >> 8) & 0xFF) * wk;
    b += (v & 0xFF) * wk;
  }
  constexpr std::uint32_t half = 1u << 15;
  return (a + half) >> 16 << 24 | (r + half) >> 16 << 16 | (g + half) >> 16 << 8 | (b + half) >> 16;
}

}  // namespace

std::vector<std::uint32_t> shrinkArgb(const std::uint32_t* src, int sw, int sh, int dw, int dh) {
  dw = std::clamp(dw, 1, sw);
  dh = std::clamp(dh, 1, sh);
  const Taps across = taps(sw, dw), down = taps(sh, dh);
  // Rows first (every source row to the output width), then columns.
  std::vector<std::uint32_t> narrow(std::size_t(dw) * sh);
  for (int y = 0; y < sh; ++y) {
    const std::uint32_t* row = src + std::size_t(y) * sw;
    std::uint32_t* out = &narrow[std::size_t(y) * dw];
    for (int x = 0; x < dw; ++x)
      out[x] = blend(row + across.first[x], 1, &across.weight[across.offset[x]], across.count[x]);
  }
  std::vector<std::uint32_t> out(std::size_t(dw) * dh);
  for (int y = 0; y < dh; ++y) {
    const std::uint32_t* top = &narrow[std::size_t(down.first[y]) * dw];
    const std::uint32_t* w = &down.weight[down.offset[y]];
    for (int x = 0; x < dw; ++x) out[std::size_t(y) * dw + x] = blend(top + x, std::size_t(dw), w, down.count[y]);
  }
  return out;
}

}  // namespace qvad
