#include <string>

#include "fuzz_targets.h"
#include "ui/gif/gif_decoder.h"

namespace qvad::fuzz {

void gifDecode(const std::uint8_t* data, std::size_t size) {
  // Small limits keep each input fast; the code paths are the same as with the defaults.
  GifLimits limits;
  limits.maxCanvasPixels = 512 * 512;
  limits.maxFrames = 64;
  limits.maxDecodedBytes = 16u << 20;
  auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
  auto info = scanGif(*bytes, nullptr, limits);
  if (!info) return;
  for (const auto& f : info->frames) {
    // Every listed frame plays for a positive time.
    if (!(f.delay > 0)) __builtin_trap();
  }
  auto shared = std::make_shared<const GifInfo>(*info);
  GifCompositor compositor(bytes, shared);
  std::size_t first = 0;
  while (compositor.next()) ++first;
  // Starting over gives the same frames: the compositor keeps no state across a restart.
  auto last = first ? compositor.canvas() : std::vector<std::uint32_t>{};
  compositor.restart();
  std::size_t second = 0;
  while (compositor.next()) ++second;
  if (first != second || (first && compositor.canvas() != last)) __builtin_trap();
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::gifDecode)
