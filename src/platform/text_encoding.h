// Bytes that enter the library as text (locale, files, arguments, host strings) are
// made valid UTF-8 at the boundary, so that everything after it can treat them as
// Unicode: what is signed is then exactly what is sent.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qvad {

/// Bytes taken by the character at `at`, and whether they form a well-formed UTF-8
/// sequence. An ill-formed one covers its maximal subpart (at least one byte).
struct UTF8Step {
  std::size_t length;
  bool valid;
};
UTF8Step utf8Step(std::string_view bytes, std::size_t at);

/// The bytes with every maximal ill-formed subpart replaced by U+FFFD, as text
/// decoders do; valid UTF-8 comes back unchanged.
std::string makeValidUTF8(std::string_view bytes);

}  // namespace qvad
