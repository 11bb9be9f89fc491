// The tracking reporter against a fake session and a clock the test moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>

#include "net/tracker_manager.h"
#include "platform/clock.h"
#include "platform/main_queue.h"
#include "support/fake_http_session.h"
#include "support/log_capture.h"

namespace qvad {
namespace {

using testing::LogCapture;
using testing::ScopedFakeSession;

class SettableClock final : public Clock {
 public:
  explicit SettableClock(double s) : s_(s) {}
  double secondsSince1970() const override { return s_.load(); }
  void set(double s) { s_.store(s); }

 private:
  std::atomic<double> s_;
};

constexpr double kT = 1'700'000'000.0;
const std::string kA = "https://track.test/impl?ad=a";
const std::string kC = "https://track.test/click?ad=c";

class TrackerManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { clockOverride_.emplace(Clock::slot(), clock); }
  void TearDown() override {
    settle();
    clockOverride_.reset();
  }
  static void settle() { HeadlessMainQueue::current()->runUntilIdle(); }
  std::optional<ScopedServiceOverride<const Clock>> clockOverride_;

  // Answers the oldest pending fetch of `url` (a transport error for status 0) and lets
  // the batch's requeue step run. Every answer goes through here, so the fixture knows
  // which requests are still pending, in the session's order.
  void answer(const std::string& url, long status) {
    auto reqs = session->requests();
    std::size_t pendingIndex = 0;
    for (std::size_t i = 0; i < reqs.size(); ++i) {
      if (answered_.count(i)) continue;
      if (reqs[i].url == url) {
        answered_.insert(i);
        if (status == 0) {
          session->replyError(URLError::timedOut, "timed out", pendingIndex);
        } else {
          session->replyBody("", status, pendingIndex);
        }
        settle();
        return;
      }
      ++pendingIndex;
    }
    FAIL() << "no pending fetch of " << url;
  }
  // Answers the oldest fetch still running.
  void answerOldest(long status) {
    auto reqs = session->requests();
    for (std::size_t i = 0; i < reqs.size(); ++i) {
      if (!answered_.count(i)) {
        answer(reqs[i].url, status);
        return;
      }
    }
    FAIL() << "no fetch running";
  }
  std::size_t fetchesOf(const std::string& url) const {
    auto reqs = session->requests();
    return static_cast<std::size_t>(std::count_if(reqs.begin(), reqs.end(), [&](const auto& r) { return r.url == url; }));
  }
  // One failed report of `url` at clock time `t`.
  void failAt(const std::string& url, double t) {
    clock->set(t);
    tracker->logTracker({url});
    answer(url, 500);
  }

  std::shared_ptr<SettableClock> clock = std::make_shared<SettableClock>(kT);
  ScopedFakeSession session;
  LogCapture log;
  std::shared_ptr<TrackerManager> tracker = TrackerManager::make();

 private:
  std::set<std::size_t> answered_;
};

using Pending = TrackerManager::PendingReport;

TEST_F(TrackerManagerTest, FetchesOnlyURLTextsWithAPlainGet) {
  tracker->logTracker({});
  tracker->logTracker({"", "not a url", "https://", kA});
  auto reqs = session->requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "GET");
  EXPECT_EQ(reqs[0].url, kA);
  EXPECT_FALSE(reqs[0].body);
  EXPECT_EQ(reqs[0].timeoutSeconds, 30.0);
  EXPECT_EQ(reqs[0].maxBodyBytes, 8u * 1024 * 1024);
  answer(kA, 200);
  tracker->logTracker({"bad url"});
  settle();
  EXPECT_TRUE(tracker->pendingReports().empty());
  EXPECT_EQ(tracker->fetchesInFlight() + tracker->fetchesWaiting(), 0u);
}

TEST_F(TrackerManagerTest, RetryWindowEndsThreeHoursAfterTheFirstFailure) {
  for (double age : {10799.9, 10800.0}) {
    SCOPED_TRACE(age);
    tracker = TrackerManager::make();
    failAt(kA, kT);
    clock->set(kT + 1);
    tracker->logTracker({kC});
    answer(kC, 200);
    answer(kA, 500);  // a retry that fails keeps the first failure's time
    EXPECT_EQ(tracker->pendingReports(), (std::vector<Pending>{{kA, kT, false}}));
    const std::size_t before = fetchesOf(kA);
    clock->set(kT + age);
    tracker->logTracker({kC});
    answer(kC, 200);
    if (age < TrackerManager::invalidTime) {
      EXPECT_EQ(fetchesOf(kA), before + 1);
      answer(kA, 200);
    } else {
      EXPECT_EQ(fetchesOf(kA), before);
      EXPECT_TRUE(log.contains("normalTracker: expired ---log " + kA));
    }
    EXPECT_TRUE(tracker->pendingReports().empty());
  }
}

TEST_F(TrackerManagerTest, AtMostEightFetchesRunAndTheOthersStartInOrderAsSlotsFree) {
  std::vector<std::string> urls;
  for (int i = 0; i < 20; ++i) urls.push_back(kA + "&n=" + std::to_string(i));
  tracker->logTracker(urls);
  EXPECT_EQ(session->pending(), TrackerManager::kMaxFetchesInFlight);
  EXPECT_EQ(tracker->fetchesWaiting(), 12u);
  answerOldest(200);
  EXPECT_EQ(session->pending(), 8u);
  EXPECT_EQ(session->requests().back().url, urls[8]);
  while (session->pending() > 0) answerOldest(500);
  std::vector<std::string> sent;
  for (const auto& r : session->requests()) sent.push_back(r.url);
  EXPECT_EQ(sent, urls);
  EXPECT_EQ(tracker->peakFetchesInFlight(), 8u);
  EXPECT_EQ(tracker->pendingReports().size(), 19u);
}

TEST_F(TrackerManagerTest, PendingReportsAreBoundedTheOldestDroppedWithALine) {
  std::vector<std::string> urls;
  for (std::size_t i = 0; i <= TrackerManager::kMaxPendingReports + 1; ++i) urls.push_back(kA + "&n=" + std::to_string(i));
  tracker->logTracker(urls);
  while (session->pending() > 0) answerOldest(500);
  auto pending = tracker->pendingReports();
  ASSERT_EQ(pending.size(), TrackerManager::kMaxPendingReports);
  EXPECT_EQ(pending.front().url, urls[2]);
  EXPECT_EQ(pending.back().url, urls.back());
  EXPECT_EQ(log.count("normalTracker: dropped"), 2);
  EXPECT_TRUE(log.contains("normalTracker: dropped, over 1000 pending ---log " + urls[0]));
}

TEST_F(TrackerManagerTest, CompletionsAfterTheTrackerIsGoneDoNothing) {
  tracker->logTracker({kA});
  tracker.reset();
  session->replyBody("", 500);
  settle();
  EXPECT_FALSE(log.contains("normalTracker"));
}

}  // namespace
}  // namespace qvad
