// Reachability of an address, answered as the flag set the library's network
// probe understands. On Linux: the IPv4 default route and the flags of its
// interface; a cellular modem (DEVTYPE=wwan, or a wwan* name) counts as WWAN.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <string>

namespace qvad {

template <class T>
class ServiceSlot;

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

  /// A reference for `address` from the installed factory, or nullptr when the
  /// platform cannot make one.
  static std::unique_ptr<Reachability> createWithAddress(const sockaddr_in& address);
};

/// How references are made: the platform service behind createWithAddress. Linux's
/// probe unless another was installed.
class ReachabilityFactory {
 public:
  virtual ~ReachabilityFactory() = default;
  /// Called on any thread.
  virtual std::unique_ptr<Reachability> create(const sockaddr_in& address) = 0;

  static ServiceSlot<ReachabilityFactory>& slot();
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
