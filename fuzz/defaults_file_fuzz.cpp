#include <string>

#include <nlohmann/json.hpp>

#include "fuzz_targets.h"
#include "platform/defaults.h"

namespace qvad::fuzz {

void defaultsFile(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string reason;
  auto values = Defaults::readStoredText(text, reason);
  if (values.has_value() == !reason.empty()) __builtin_trap();  // a value or a reason, never both
  if (!values) return;
  if (!values->is_object()) __builtin_trap();
  // What was read is written on the next change and must read back the same.
  const std::string written = Defaults::storedText(*values);
  std::string again;
  auto reread = Defaults::readStoredText(written, again);
  if (!reread || *reread != *values) __builtin_trap();
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::defaultsFile)
