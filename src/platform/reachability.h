// Reachability of an address, answered as the flag set the library's network
// probe understands. On Linux: the IPv4 default route and the flags of its
// interface; a cellular modem (DEVTYPE=wwan, or a wwan* name) counts as WWAN.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qvad {

namespace ReachabilityFlags {
inline constexpr std::uint32_t kTransientConnection = 0x1;
inline constexpr std::uint32_t kReachable = 0x2;
inline constexpr std::uint32_t kConnectionRequired = 0x4;
inline constexpr std::uint32_t kConnectionOnTraffic = 0x8;
inline constexpr std::uint32_t kInterventionRequired = 0x10;
inline constexpr std::uint32_t kConnectionOnDemand = 0x20;
inline constexpr std::uint32_t kIsLocalAddress = 0x10000;
inline constexpr std::uint32_t kIsDirect = 0x20000;
inline constexpr std::uint32_t kIsWWAN = 0x40000;
}  // namespace ReachabilityFlags

/// One reachability reference. Reading flags is synchronous and touches no shared state.
class Reachability {
 public:
  virtual ~Reachability() = default;
  /// The current flags, or false when they cannot be read.
  virtual bool getFlags(std::uint32_t* flags) = 0;

  using Factory = std::function<std::unique_ptr<Reachability>(const sockaddr_in&)>;
  /// A reference for `address`, or nullptr when the platform cannot make one.
  static std::unique_ptr<Reachability> createWithAddress(const sockaddr_in& address);
  /// Replaces how references are made (tests); an empty factory restores Linux's.
  static void setFactory(Factory factory);
};

/// The Linux probe, reading `<procNet>/route` and `<sysClassNet>/<interface>/{flags,uevent}`.
class LinuxReachability final : public Reachability {
 public:
  explicit LinuxReachability(std::string procNet = "/proc/net", std::string sysClassNet = "/sys/class/net");
  bool getFlags(std::uint32_t* flags) override;

 private:
  std::string procNet_;
  std::string sysClassNet_;
};

}  // namespace qvad
