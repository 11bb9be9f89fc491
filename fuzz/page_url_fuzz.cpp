#include <string>

#include "fuzz_targets.h"
#include "net/text_utils.h"
#include "net/utils.h"

namespace qvad::fuzz {

void pageURL(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  auto params = parseParams(url);
  if (!params) return;
  for (const auto& [key, value] : *params) {
    // Every value the parser yields is text, so it encodes, and decodes back to itself.
    std::string encoded;
    if (!Utils::appendPercentEncoded(encoded, value)) __builtin_trap();
    auto decoded = percentDecode(encoded);
    if (!decoded || *decoded != value) __builtin_trap();
    (void)key;
  }
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::pageURL)
