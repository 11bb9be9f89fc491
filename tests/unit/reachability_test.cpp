#include <gtest/gtest.h>

#include "device/qv_network_reachability_manager.h"
#include "net/utils.h"
#include "platform/reachability.h"
#include "support/temp_dir.h"

namespace qvad {
namespace {

using M = QvNetworkReachabilityManager;
using Status = M::NetworkReachabilityStatus;

TEST(ReachabilityStatus, FlagTable) {
  const Status wifi = Status::reachable(M::ConnectionType::ethernetOrWiFi);
  const Status wwan = Status::reachable(M::ConnectionType::wwan);
  const Status none = Status::notReachable();
  struct Row {
    std::uint32_t flags;
    Status expected;
  } rows[] = {
      {0x2, wifi},      {0x40002, wwan}, {0x0, none},  {0x40000, none}, {0x6, none},
      {0x26, wifi},     {0x36, none},    {0xE, wifi},  {0x12, wifi},    {0x4000E, wwan},
      {0x40000000, none},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(M::networkReachabilityStatusForFlags(r.flags), r.expected) << std::hex << "flags 0x" << r.flags;
  }
  EXPECT_FALSE(M::networkReachabilityStatusForFlags(0x2) == Status::unknown());
  EXPECT_FALSE(wifi == wwan);
}

// A fake /proc/net and /sys/class/net, as the Linux probe reads them.
class LinuxProbe : public ::testing::Test {
 protected:
  static constexpr const char* kHeader =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
  void route(const std::string& rows) { dir.write("proc/route", std::string(kHeader) + rows); }
  // As the kernel writes them: `flags` never holds IFF_RUNNING (0x40); the link's state
  // is `operstate`.
  void iface(const std::string& name, const std::string& operstate, const std::string& uevent = "INTERFACE=x\n",
             const std::string& flags = "0x1003") {
    dir.write("sys/" + name + "/flags", flags + "\n");
    dir.write("sys/" + name + "/operstate", operstate + "\n");
    dir.write("sys/" + name + "/uevent", uevent);
  }
  std::optional<std::uint32_t> probe() {
    LinuxReachability r(dir.path() + "/proc", dir.path() + "/sys");
    std::uint32_t flags = 0xDEAD;
    if (!r.getFlags(&flags)) return std::nullopt;
    return flags;
  }
  testing::TempDir dir;
};

TEST_F(LinuxProbe, DefaultRouteOverRunningInterfaceIsReachable) {
  route("eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n");
  iface("eth0", "up");
  EXPECT_EQ(probe(), 0x2u);
  EXPECT_EQ(Utils::networkWordForFlags(*probe()), "wifi");
  iface("eth0", "unknown");  // a tunnel reports no state: running, as the kernel counts it
  EXPECT_EQ(probe(), 0x2u);
}

TEST_F(LinuxProbe, CellularModemCountsAsWWAN) {
  route("wwan0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n");
  iface("wwan0", "up");
  EXPECT_EQ(probe(), 0x40002u);
  route("usb0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n");
  iface("usb0", "up", "DEVTYPE=wwan\nINTERFACE=usb0\n");
  EXPECT_EQ(Utils::networkWordForFlags(*probe()), "wwan");
}

TEST_F(LinuxProbe, LowestMetricUsableRouteWins) {
  route("wwan0\t00000000\t00000000\t0001\t0\t0\t700\t00000000\t0\t0\t0\n"
        "eth1\t00000000\t00000000\t0000\t0\t0\t1\t00000000\t0\t0\t0\n"   // route not up
        "eth0\t00000000\t00000000\t0003\t0\t0\t100\t00000000\t0\t0\t0\n");
  iface("wwan0", "up");
  iface("eth0", "up");
  iface("eth1", "up");
  EXPECT_EQ(probe(), 0x2u);
}

TEST_F(LinuxProbe, NoRouteNoCarrierAndUnreadableTable) {
  route("eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n");
  iface("eth0", "up");
  EXPECT_EQ(probe(), 0u) << "no default route: reachable by nothing";

  route("eth0\t00000000\t00000000\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
  iface("eth0", "down");  // up, no carrier
  EXPECT_EQ(probe(), 0x4u);
  EXPECT_EQ(Utils::networkWordForFlags(*probe()), "not connect");
  iface("eth0", "up", "INTERFACE=eth0\n", "0x1002");  // taken down by the administrator
  EXPECT_EQ(probe(), 0u);

  route("../../etc\t00000000\t00000000\t0003\t0\t0\t0\t00000000\t0\t0\t0\ngarbage line\n");
  EXPECT_EQ(probe(), 0u) << "an interface name is never a path";

  testing::TempDir empty;
  LinuxReachability r(empty.path(), empty.path());
  std::uint32_t flags;
  EXPECT_FALSE(r.getFlags(&flags));
}

}  // namespace
}  // namespace qvad
