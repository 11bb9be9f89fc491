#include "platform/text_encoding.h"

namespace qvad {

UTF8Step utf8Step(std::string_view s, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[at + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {1, true};
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte; later ones are 80..BF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlongs
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return {1, false};
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (at + k >= s.size()) return {k, false};
    const unsigned char c = byte(k);
    const bool ok = k == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
    if (!ok) return {k, false};
  }
  return {length, true};
}

std::string makeValidUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const UTF8Step step = utf8Step(bytes, i);
    if (step.valid)
      out.append(bytes.substr(i, step.length));
    else
      out += "\xEF\xBF\xBD";
    i += step.length;
  }
  return out;
}

}  // namespace qvad
