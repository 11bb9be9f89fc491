#include <net/if.h>

#include <cstdlib>
#include <limits>
#include <sstream>

#include "platform/file_util.h"
#include "platform/reachability.h"
#include "platform/service_slot.h"

namespace qvad {
namespace {

class LinuxReachabilityFactory final : public ReachabilityFactory {
 public:
  std::unique_ptr<Reachability> create(const sockaddr_in&) override { return std::make_unique<LinuxReachability>(); }
};

std::shared_ptr<ReachabilityFactory> makeLinuxFactory() { return std::make_shared<LinuxReachabilityFactory>(); }

constexpr unsigned kRouteUp = 0x1;  // RTF_UP

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
  return s;
}

}  // namespace

ServiceSlot<ReachabilityFactory>& ReachabilityFactory::slot() {
  // Never destroyed: worker threads may still probe while the process exits.
  static auto* slot = new ServiceSlot<ReachabilityFactory>("reachability", makeLinuxFactory);
  return *slot;
}

std::unique_ptr<Reachability> Reachability::createWithAddress(const sockaddr_in& address) {
  return ReachabilityFactory::slot().get()->create(address);
}

LinuxReachability::LinuxReachability(std::string procNet, std::string sysClassNet)
    : procNet_(std::move(procNet)), sysClassNet_(std::move(sysClassNet)) {}

bool LinuxReachability::getFlags(std::uint32_t* flags) {
  auto table = readFile(procNet_ + "/route", 1 << 20);
  if (!table) return false;

  // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...; pick the
  // usable default route with the lowest metric.
  std::istringstream in(*table);
  std::string line;
  std::getline(in, line);  // header
  std::string bestInterface;
  unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::string iface, dest, gateway, routeFlags, refcnt, use, metric, mask;
    if (!(row >> iface >> dest >> gateway >> routeFlags >> refcnt >> use >> metric >> mask)) continue;
    if (dest != "00000000" || mask != "00000000") continue;
    unsigned long rf = std::strtoul(routeFlags.c_str(), nullptr, 16);
    if (!(rf & kRouteUp)) continue;
    unsigned long m = std::strtoul(metric.c_str(), nullptr, 10);
    if (bestInterface.empty() || m < bestMetric) {
      bestInterface = iface;
      bestMetric = m;
    }
  }

  std::uint32_t result = 0;
  if (!bestInterface.empty() && bestInterface.find('/') == std::string::npos && bestInterface != "." &&
      bestInterface != "..") {
    const std::string dir = sysClassNet_ + "/" + bestInterface;
    bool wwan = bestInterface.rfind("wwan", 0) == 0;
    if (auto uevent = readFile(dir + "/uevent", 64 * 1024)) {
      if (uevent->find("DEVTYPE=wwan") != std::string::npos) wwan = true;
    }
    unsigned long ifFlags = 0;
    if (auto text = readFile(dir + "/flags", 4096)) ifFlags = std::strtoul(trim(*text).c_str(), nullptr, 16);
    const bool up = ifFlags & IFF_UP;
    // sysfs's `flags` are the administrative ones: IFF_RUNNING is never among them. The
    // link's state is `operstate`; like the kernel's IFF_RUNNING, "unknown" (tunnels and
    // other drivers that report no state) counts as running. Without it, the carrier.
    bool running = false;
    if (auto state = readFile(dir + "/operstate", 4096)) {
      const std::string word = trim(*state);
      running = word == "up" || word == "unknown";
    } else if (auto carrier = readFile(dir + "/carrier", 4096)) {
      running = trim(*carrier) == "1";
    }
    if (up && running) {
      result |= ReachabilityFlags::kReachable;
    } else if (up) {
      // A route over a link without carrier: reachable only once the link comes up.
      result |= ReachabilityFlags::kConnectionRequired;
    }
    if (wwan) result |= ReachabilityFlags::kIsWWAN;
  }
  *flags = result;
  return true;
}

}  // namespace qvad
