// One-shot network probe: whether the internet is reachable now, and over which link.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/reachability.h"

namespace qvad {

class QvNetworkReachabilityManager {
 public:
  enum class ConnectionType { ethernetOrWiFi, wwan };

  struct NetworkReachabilityStatus {
    enum class Kind { unknown, notReachable, reachable };
    Kind kind = Kind::unknown;
    ConnectionType connectionType = ConnectionType::ethernetOrWiFi;  // meaningful for reachable only

    static NetworkReachabilityStatus unknown() { return {Kind::unknown, {}}; }
    static NetworkReachabilityStatus notReachable() { return {Kind::notReachable, {}}; }
    static NetworkReachabilityStatus reachable(ConnectionType t) { return {Kind::reachable, t}; }
    bool operator==(const NetworkReachabilityStatus& o) const {
      return kind == o.kind && (kind != Kind::reachable || connectionType == o.connectionType);
    }
  };

  /// A monitor for the zero IPv4 address, or nullptr when the platform cannot make one.
  static std::unique_ptr<QvNetworkReachabilityManager> create();

  static NetworkReachabilityStatus networkReachabilityStatusForFlags(std::uint32_t flags);

  /// Reads the current flags; false when they cannot be read.
  bool getFlags(std::uint32_t* flags) const { return reachability->getFlags(flags); }

  // Kept for a future change listener; nothing reads them today.
  std::function<void(NetworkReachabilityStatus)> listener;
  const std::unique_ptr<Reachability> reachability;
  std::uint32_t previousFlags = 1u << 30;

 private:
  explicit QvNetworkReachabilityManager(std::unique_ptr<Reachability> r) : reachability(std::move(r)) {}
};

}  // namespace qvad
