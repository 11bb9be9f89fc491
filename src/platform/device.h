// The device the library runs on.
#pragma once

#include <optional>
#include <string>

namespace qvad {

/// Kind of device; the value 1 marks a tablet.
enum class UserInterfaceIdiom { unspecified = -1, phone = 0, pad = 1 };

class Device {
 public:
  /// The kind of device: a phone unless overridden (tests, hosts on tablets).
  static UserInterfaceIdiom userInterfaceIdiom();
  static void overrideUserInterfaceIdiom(std::optional<UserInterfaceIdiom> idiom);

  /// Version of the operating system: VERSION_ID of os-release (for example "12"),
  /// else the kernel release. Read once per process unless overridden.
  static std::string systemVersion();
  /// Replaces the answer (tests, hosts that know better); nullopt restores the probe.
  static void overrideSystemVersion(std::optional<std::string> version);
};

}  // namespace qvad
