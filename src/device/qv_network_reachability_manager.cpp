#include "device/qv_network_reachability_manager.h"

#include <cstring>

namespace qvad {

std::unique_ptr<QvNetworkReachabilityManager> QvNetworkReachabilityManager::create() {
  sockaddr_in zero;
  std::memset(&zero, 0, sizeof zero);
  zero.sin_family = AF_INET;
  auto ref = Reachability::createWithAddress(zero);
  if (!ref) return nullptr;
  return std::unique_ptr<QvNetworkReachabilityManager>(new QvNetworkReachabilityManager(std::move(ref)));
}

QvNetworkReachabilityManager::NetworkReachabilityStatus QvNetworkReachabilityManager::networkReachabilityStatusForFlags(
    std::uint32_t flags) {
  using namespace ReachabilityFlags;
  const bool reachable = flags & kReachable;
  const bool needsConnection = flags & kConnectionRequired;
  const bool canConnectAutomatically = (flags & kConnectionOnDemand) || (flags & kConnectionOnTraffic);
  const bool canConnectWithoutUserInteraction = canConnectAutomatically && !(flags & kInterventionRequired);
  if (!(reachable && (!needsConnection || canConnectWithoutUserInteraction))) return NetworkReachabilityStatus::notReachable();
  return NetworkReachabilityStatus::reachable((flags & kIsWWAN) ? ConnectionType::wwan : ConnectionType::ethernetOrWiFi);
}

}  // namespace qvad
