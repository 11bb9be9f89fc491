#include <string>

#include "fuzz_targets.h"
#include "platform/advertising_identifier.h"

namespace qvad::fuzz {

void identifierFile(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string reason;
  auto stored = AdvertisingIdentifier::readFileText(text, reason);
  if (stored.has_value() == !reason.empty()) __builtin_trap();
  if (!stored) return;
  // An accepted identifier is one the library itself could have written.
  std::string again;
  auto reread = AdvertisingIdentifier::readFileText(AdvertisingIdentifier::fileText(stored->uuid, stored->limited), again);
  if (!reread || reread->uuid != stored->uuid || reread->limited != stored->limited || stored->uuid.size() != 36)
    __builtin_trap();
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::identifierFile)
