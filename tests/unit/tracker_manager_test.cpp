// The tracking reporter against a fake session and a clock the test moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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
const std::string kB = "https://track.test/impl?ad=b";
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
  // A batch of nothing valid still finishes cleanly and remembers nothing.
  tracker->logTracker({"bad url"});
  settle();
  EXPECT_TRUE(tracker->failUrlsDict().empty());
  EXPECT_TRUE(tracker->failUrls().empty());
}

TEST_F(TrackerManagerTest, OnlyA2xxStatusCountsAsSuccess) {
  tracker->logTracker({kA, kB, kC});
  answer(kA, 204);
  answer(kB, 404);
  answer(kC, 0);
  EXPECT_EQ(tracker->failUrlsDict(), (std::map<std::string, double>{{kB, kT}, {kC, kT}}));
  for (const auto& [word, url] : {std::pair{"success", kA}, {"failed", kB}, {"failed", kC}}) {
    EXPECT_TRUE(log.contains("normalTracker: " + std::string(word) + " ---log " + url));
  }
}

TEST_F(TrackerManagerTest, AFailedURLKeepsItsFirstFailureTimeAndStandsInTheQueueOnce) {
  failAt(kA, kT);
  EXPECT_EQ(tracker->failUrlsDict(), (std::map<std::string, double>{{kA, kT}}));
  EXPECT_EQ(tracker->failUrls(), std::vector<std::string>{kA});
  // While the tracking host is down, every later report would otherwise add A again.
  for (int i = 1; i <= 50; ++i) failAt(kA, kT + i);
  failAt(kB, kT + 60);
  EXPECT_EQ(tracker->failUrlsDict(), (std::map<std::string, double>{{kA, kT}, {kB, kT + 60}}));
  EXPECT_EQ(tracker->failUrls(), (std::vector<std::string>{kA, kB}));
}

TEST_F(TrackerManagerTest, ASuccessSendsTheQueueOnceAndForgetsWhatWentThrough) {
  failAt(kA, kT);
  failAt(kB, kT);
  const std::size_t before = session->requests().size();
  clock->set(kT + 5);
  tracker->logTracker({kC});
  answer(kC, 200);
  // The piggy-backed batch: A and B once each, and the queue is empty meanwhile.
  EXPECT_EQ(session->requests().size(), before + 3);
  EXPECT_TRUE(tracker->failUrls().empty());
  answer(kA, 200);
  answer(kB, 503);
  EXPECT_EQ(tracker->failUrlsDict(), (std::map<std::string, double>{{kB, kT}}));
  EXPECT_EQ(tracker->failUrls(), std::vector<std::string>{kB});
  EXPECT_EQ(fetchesOf(kA), 2u);  // the failed report and one retry
}

TEST_F(TrackerManagerTest, AURLWhoseRetryIsInFlightIsNotSentAgainByAnotherSuccess) {
  failAt(kA, kT);
  tracker->logTracker({kB, kC});
  answer(kB, 200);  // sends A
  answer(kC, 200);  // A's retry is still running: nothing to send
  EXPECT_EQ(fetchesOf(kA), 2u);
  answer(kA, 200);
  EXPECT_TRUE(tracker->failUrlsDict().empty());
  EXPECT_TRUE(tracker->failUrls().empty());
  tracker->logTracker({kB});
  answer(kB, 200);
  EXPECT_EQ(fetchesOf(kA), 2u);
}

TEST_F(TrackerManagerTest, RetryWindowEndsThreeHoursAfterTheFirstFailure) {
  for (double age : {10799.9, 10800.0}) {
    SCOPED_TRACE(age);
    tracker = TrackerManager::make();
    failAt(kA, kT);
    clock->set(kT + 1);
    tracker->logTracker({kC});
    answer(kC, 200);  // sends A
    clock->set(kT + age);
    answer(kA, 500);  // the retry fails again; its batch decides on requeueing
    EXPECT_EQ(tracker->failUrlsDict(), (std::map<std::string, double>{{kA, kT}}));
    if (age < TrackerManager::invalidTime) {
      EXPECT_EQ(tracker->failUrls(), std::vector<std::string>{kA});
    } else {
      EXPECT_TRUE(tracker->failUrls().empty());
    }
  }
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
