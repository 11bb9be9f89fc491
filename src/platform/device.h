// The device the library runs on.
#pragma once

#include <optional>
#include <string>

namespace qvad {

class Device {
 public:
  /// Version of the operating system: VERSION_ID of os-release (for example "12"),
  /// else the kernel release. Read once per process unless overridden.
  static std::string systemVersion();
  /// Replaces the answer (tests, hosts that know better); nullopt restores the probe.
  static void overrideSystemVersion(std::optional<std::string> version);
};

}  // namespace qvad
