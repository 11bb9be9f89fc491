// Tracking against qvad-sandbox over HTTPS on loopback: reports made while the tracking
// host fails are each counted once after it recovers, and a flood stays inside the
// tracker's bounds without growing the process's descriptors or threads.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "net/tracker_manager.h"
#include "platform/main_queue.h"
#include "support/log_capture.h"
#include "support/sandbox_suite.h"

namespace qvad {
namespace {

using nlohmann::json;

constexpr double kWait = 60;  // seconds of real time; a loaded CI machine is slow

// Entries of a /proc directory of this process: its descriptors or its threads.
std::size_t entriesOf(const char* dir) {
  std::size_t n = 0;
  if (DIR* d = opendir(dir)) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

class TrackingSandboxTest : public testing::SandboxSuite<TrackingSandboxTest> {
 protected:
  void SetUp() override {
    useSandbox();
    ASSERT_EQ(control("/_sandbox/counts/reset", "{}"), 200);
  }
  void TearDown() override { leaveSandbox(); }

  static int control(const std::string& path, const std::string& body) {
    return static_cast<int>(fetchSandbox(path, "POST", body).statusCode);
  }
  static void failTracking(const std::string& ad, int count) {
    ASSERT_EQ(control("/_sandbox/track-fail", json{{"count", count}, {"status", 503}, {"ad", ad}}.dump()), 200);
  }
  static int hits(const std::string& ad) {
    auto j = json::parse(fetchSandbox("/_sandbox/counts").body.value_or(""), nullptr, false);
    return j.is_object() ? j["impl"].value(ad, 0) : -1;
  }
  static std::string url(const std::string& ad) { return sandbox_->baseURL() + "/track/impl?ad=" + ad; }

  // Runs the main loop until the tracker has no fetch running or waiting.
  bool settled(const std::function<void()>& whileWaiting = {}) {
    auto& q = *HeadlessMainQueue::current();
    for (double waited = 0; waited < kWait; waited += 0.02) {
      if (whileWaiting) whileWaiting();
      if (tracker->fetchesInFlight() + tracker->fetchesWaiting() == 0) return true;
      q.runFor(0.02);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  void report(const std::string& ad, int times = 1) {
    tracker->logTracker(std::vector<std::string>(static_cast<std::size_t>(times), url(ad)));
    ASSERT_TRUE(settled());
  }

  testing::LogCapture log;  // keeps the flood's lines off the console
  std::shared_ptr<TrackerManager> tracker = TrackerManager::make();
};

TEST_F(TrackingSandboxTest, ReportsOfOneURLDuringAnOutageAreEachCountedOnceAfterRecovery) {
  for (int n : {1, 2, 5}) {
    SCOPED_TRACE(n);
    const std::string ad = "outage-" + std::to_string(n);
    failTracking(ad, 1000);
    report(ad, n);
    EXPECT_EQ(tracker->pendingReports().size(), static_cast<std::size_t>(n));
    failTracking(ad, 0);
    report("trigger-" + std::to_string(n));
    EXPECT_EQ(hits(ad), n);
    EXPECT_TRUE(tracker->pendingReports().empty());
  }
}

TEST_F(TrackingSandboxTest, AReportOfAURLWithARetryPendingGivesTwoHits) {
  failTracking("dup", 1);
  report("dup");
  report("dup");
  EXPECT_EQ(hits("dup"), 2);
  EXPECT_TRUE(tracker->pendingReports().empty());
}

TEST_F(TrackingSandboxTest, ARecoveryThatFailsHalfWayCountsEveryReportOnce) {
  failTracking("half", 1000);
  report("half", 6);
  failTracking("half", 3);  // three of the six retries fail
  report("trigger");
  for (int i = 0; i < 5 && !tracker->pendingReports().empty(); ++i) report("trigger");
  EXPECT_TRUE(tracker->pendingReports().empty());
  EXPECT_EQ(hits("half"), 6);
  // Six failures in the outage and three in the recovery: the rule did bite half-way.
  auto lines = log.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "normalTracker: failed ---log " + url("half")), 9);
}

TEST_F(TrackingSandboxTest, TenThousandReportsStayInsideTheBounds) {
  // A loopback port nobody listens on fails each fetch at once (cleartext: no TLS set-up
  // per fetch), so the flood is quick.
  const std::string dead = "http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/track/impl?ad=flood";
  report("warm-up");  // the session's worker exists before counting
  const std::size_t fdsBefore = entriesOf("/proc/self/fd");
  const std::size_t threadsBefore = entriesOf("/proc/self/task");
  std::size_t peakPending = 0, peakFds = 0, peakThreads = 0;
  tracker->logTracker(std::vector<std::string>(10000, dead));
  ASSERT_TRUE(settled([&] {
    peakPending = std::max(peakPending, tracker->pendingReports().size());
    peakFds = std::max(peakFds, entriesOf("/proc/self/fd"));
    peakThreads = std::max(peakThreads, entriesOf("/proc/self/task"));
  }));
  EXPECT_LE(peakPending, TrackerManager::kMaxPendingReports);
  EXPECT_EQ(tracker->pendingReports().size(), TrackerManager::kMaxPendingReports);
  EXPECT_LE(tracker->peakFetchesInFlight(), TrackerManager::kMaxFetchesInFlight);
  // A handful per fetch in flight at most, nothing per report.
  EXPECT_LE(peakFds, fdsBefore + 4 * TrackerManager::kMaxFetchesInFlight);
  EXPECT_LE(peakThreads, threadsBefore + TrackerManager::kMaxFetchesInFlight);
  std::printf("10000 reports: peak pending %zu, peak in flight %zu, descriptors %zu -> %zu, threads %zu -> %zu\n",
              peakPending, tracker->peakFetchesInFlight(), fdsBefore, peakFds, threadsBefore, peakThreads);
  EXPECT_EQ(log.count("normalTracker: dropped"), 9000);
}

}  // namespace
}  // namespace qvad
