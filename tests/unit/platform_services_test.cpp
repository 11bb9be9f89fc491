#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/advertising_identifier.h"
#include "platform/defaults.h"
#include "platform/file_util.h"
#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "platform/url_cache.h"
#include "qvad/main_loop.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace qvad {
namespace {

TEST(MainQueue, PostsFromOtherThreadsRunInOrderOnTheMainThread) {
  auto* q = HeadlessMainQueue::current();
  ASSERT_NE(q, nullptr);
  std::vector<int> seen;
  std::atomic<bool> offMain{false};
  std::thread worker([&] {
    offMain = !q->isMainThread();
    for (int i = 0; i < 100; ++i) {
      q->async([&seen, i, q] {
        EXPECT_TRUE(q->isMainThread());
        seen.push_back(i);
      });
    }
  });
  worker.join();
  EXPECT_TRUE(offMain);
  EXPECT_TRUE(q->runUntil([&] { return seen.size() == 100; }, 10));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
}

TEST(MainQueue, VirtualTimersFireInDueOrderAndCancel) {
  auto* q = HeadlessMainQueue::current();
  q->useVirtualClock(true, 100);
  std::vector<std::string> fired;
  q->asyncAfter(2, [&] { fired.push_back("b"); });
  TimerId cancelled = q->asyncAfter(1, [&] { fired.push_back("x"); });
  q->asyncAfter(1, [&] {
    fired.push_back("a");
    q->asyncAfter(0.5, [&] { fired.push_back("a+0.5"); });  // re-arming from a timer
  });
  q->cancel(cancelled);
  q->runFor(0.99);
  EXPECT_TRUE(fired.empty());
  q->runFor(1.6);
  EXPECT_EQ(fired, (std::vector<std::string>{"a", "a+0.5", "b"}));
  EXPECT_DOUBLE_EQ(q->now(), 102.59);
  EXPECT_EQ(q->pendingTimers(), 0u);
  q->useVirtualClock(false);
}

TEST(MainQueue, RunStopsFromATask) {
  auto* q = HeadlessMainQueue::current();
  int ran = 0;
  q->async([&] { ++ran; });
  q->asyncAfter(0.01, [&] {
    ++ran;
    q->stop();
  });
  q->run();
  EXPECT_EQ(ran, 2);
}

// A host's own loop calls QvMainLoop::iterate() once a frame.
TEST(QvMainLoopIterate, RunsReadyTasksAndTimersDueOnTheClockInUseThenReportsNothingLeft) {
  auto* q = HeadlessMainQueue::current();
  q->useVirtualClock(true, 10);
  std::string order;
  q->asyncAfter(1, [&] { order += "[11]"; });
  q->asyncAfter(0, [&] { order += "[10]"; });
  q->async([&] {
    order += "a";
    q->async([&] { order += "b"; });  // the next round, still in this call
  });
  EXPECT_TRUE(QvMainLoop::iterate());
  EXPECT_EQ(order, "a[10]b");
  EXPECT_FALSE(QvMainLoop::iterate()) << "the virtual clock stood still: nothing is due";
  EXPECT_EQ(q->pendingTimers(), 1u);
  q->useVirtualClock(true, 11);
  EXPECT_TRUE(QvMainLoop::iterate());
  EXPECT_EQ(order, "a[10]b[11]");
  q->useVirtualClock(false);

  bool fired = false;
  TimerId soon = q->asyncAfter(2, [&] { fired = true; });
  EXPECT_FALSE(QvMainLoop::iterate()) << "waiting for the timer would have run it";
  EXPECT_FALSE(fired);
  q->cancel(soon);
}

TEST(QvMainLoopIterate, WorkThatKeepsPostingMoreIsCutOffAndGoesOnInTheNextCall) {
  auto* q = HeadlessMainQueue::current();
  q->useVirtualClock(true, 0);
  bool stop = false;
  int tasks = 0, timers = 0;
  std::function<void()> again = [&] {
    ++tasks;
    if (!stop) q->async(again);
  };
  std::function<void()> rearm = [&] {
    ++timers;
    if (!stop) q->asyncAfter(0, rearm);  // due at once: the clock does not move
  };
  q->async(again);
  q->asyncAfter(0, rearm);
  EXPECT_TRUE(QvMainLoop::iterate());
  EXPECT_EQ(tasks, MainQueue::kIterateRounds) << "once a round";
  EXPECT_EQ(timers, MainQueue::kIterateRounds);
  EXPECT_TRUE(QvMainLoop::iterate());
  EXPECT_EQ(tasks, 2 * MainQueue::kIterateRounds);
  stop = true;
  q->runUntilIdle();
  q->useVirtualClock(false);
}

TEST(QvMainLoopDeathTest, RunningTheLoopOffTheMainThreadStopsTheProcess) {
  EXPECT_DEATH(std::thread([] { QvMainLoop::iterate(); }).join(),
               "Fatal error: QvMainLoop::iterate\\(\\) called off the library's main thread");
  EXPECT_DEATH(std::thread([] { QvMainLoop::runFor(0); }).join(), "QvMainLoop::runFor\\(\\) called off");
}

TEST(NotificationCenter, ObserversByNameAndRemovalDuringPost) {
  auto& center = NotificationCenter::defaultCenter();
  int a = 0, b = 0, all = 0;
  NotificationCenter::ObserverId idB = 0;
  auto idA = center.addObserver("n", [&](const Notification&) {
    ++a;
    center.removeObserver(idB);  // removed before its turn: not called
  });
  idB = center.addObserver("n", [&](const Notification&) { ++b; });
  auto idAll = center.addObserver("", [&](const Notification& n) {
    if (n.name == "n" || n.name == "other") ++all;
  });
  center.post("n");
  center.post("other");
  center.removeObserver(idA);
  center.removeObserver(idAll);
  center.post("n");
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(all, 2);
}

TEST(Defaults, PersistsAtomicallyAndSurvivesACorruptFile) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/sub/defaults.json";
  {
    Defaults d(path);
    EXPECT_TRUE(d.set("WebKitCacheModelPreferenceKey", 0));
    EXPECT_TRUE(d.set("text", "\xFF"));  // not UTF-8: written replaced, never dropping the file
  }
  Defaults reread(path);
  EXPECT_EQ(reread.object("WebKitCacheModelPreferenceKey"), nlohmann::json(0));
  EXPECT_TRUE(reread.object("text").has_value());
  EXPECT_FALSE(reread.object("missing").has_value());

  // A damaged file is kept aside, not overwritten by the next change.
  dir.write("sub/defaults.json", "{ not json");
  Defaults corrupt(path);
  EXPECT_FALSE(corrupt.object("WebKitCacheModelPreferenceKey").has_value());
  EXPECT_TRUE(corrupt.set("k", 1));
  EXPECT_EQ(Defaults(path).object("k"), nlohmann::json(1));
  EXPECT_EQ(readFile(path + ".damaged"), "{ not json");
  EXPECT_NE(corrupt.takeLoadWarning().value_or("").find("moved to " + path + ".damaged"), std::string::npos);
  EXPECT_FALSE(corrupt.takeLoadWarning());

  // So is one nested past the limit: writing it back would recurse as deep.
  ASSERT_EQ(std::remove((path + ".damaged").c_str()), 0);
  const int depth = Defaults::kMaxDepth + 1;
  dir.write("sub/defaults.json", "{\"k\":" + std::string(depth, '[') + std::string(depth, ']') + "}");
  Defaults deep(path);
  EXPECT_FALSE(deep.object("k").has_value());
  EXPECT_NE(deep.takeLoadWarning().value_or("").find("nested deeper than"), std::string::npos);
  EXPECT_TRUE(deep.set("k", 1));
  const std::string shallow = "{\"k\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
  std::string reason;
  EXPECT_TRUE(Defaults::readStoredText(shallow, reason).has_value()) << reason;

  // One that cannot be moved either (a directory in the way of the aside name) is left
  // alone: changes stay in memory.
  dir.write("sub/defaults.json", "[1, 2]");
  ASSERT_EQ(std::remove((path + ".damaged").c_str()), 0);
  ASSERT_TRUE(makeDirectories(path + ".damaged/in-the-way"));
  Defaults stuck(path);
  EXPECT_FALSE(stuck.set("k", 3));
  EXPECT_EQ(stuck.object("k"), nlohmann::json(3));
  EXPECT_EQ(readFile(path), "[1, 2]");

  // An unwritable location reports failure but keeps the value for this process.
  Defaults nowhere("/proc/qvad-cannot-write/defaults.json");
  EXPECT_FALSE(nowhere.set("k", 2));
  EXPECT_EQ(nowhere.object("k"), nlohmann::json(2));
}

TEST(Defaults, PreferredLanguagesFromLocale) {
  testing::ScopedEnv env(testing::ScopedEnv::locale("zh_CN.UTF-8"));
  EXPECT_EQ(Defaults::preferredLanguagesFromEnvironment(), nlohmann::json({"zh-CN"}));
  setenv("LANGUAGE", "sr_RS@latin:en", 1);
  EXPECT_EQ(Defaults::preferredLanguagesFromEnvironment(), nlohmann::json({"sr-RS", "en", "zh-CN"}));
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(Defaults::preferredLanguagesFromEnvironment(), nlohmann::json::array()) << "C locale: no language";
}

TEST(AdvertisingIdentifier, PersistedUpperCaseAndReset) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/id.json";
  std::string first;
  {
    AdvertisingIdentifier ids(path);
    first = ids.uuidString();
    ASSERT_EQ(first.size(), 36u);
    for (std::size_t i : {8u, 13u, 18u, 23u}) EXPECT_EQ(first[i], '-');
    EXPECT_EQ(first[14], '4') << "version 4";
    EXPECT_EQ(first.find_first_of("abcdef"), std::string::npos);
    ids.setLimitTracking(true);
  }
  AdvertisingIdentifier again(path);
  EXPECT_EQ(again.uuidString(), first);
  EXPECT_FALSE(again.isAdvertisingTrackingEnabled());
  again.reset();
  EXPECT_NE(again.uuidString(), first);
}

TEST(FileUtil, ReadRefusesOversizedFiles) {
  testing::TempDir dir;
  dir.write("f", std::string(100, 'x'));
  EXPECT_EQ(readFile(dir.path() + "/f", 100)->size(), 100u);
  EXPECT_FALSE(readFile(dir.path() + "/f", 99).has_value());
  EXPECT_FALSE(readFile(dir.path() + "/missing").has_value());
}

// The cache read of a path a stranger may have planted: links and FIFOs are refused on
// the opened descriptor (a FIFO would otherwise block the worker for good).
TEST(FileUtil, ReadRegularFileNoFollowRefusesLinksFifosAndOversize) {
  testing::TempDir dir;
  dir.write("f", "gif");
  dir.write("elsewhere", "secret");
  const std::string link = dir.path() + "/link", fifo = dir.path() + "/fifo";
  ASSERT_EQ(::symlink((dir.path() + "/elsewhere").c_str(), link.c_str()), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(readRegularFileNoFollow(dir.path() + "/f").content, "gif");
  EXPECT_EQ(readRegularFileNoFollow(link).error, ELOOP);
  EXPECT_EQ(readRegularFileNoFollow(fifo).error, EINVAL);
  EXPECT_EQ(readRegularFileNoFollow(dir.path()).error, EINVAL);
  EXPECT_EQ(readRegularFileNoFollow(dir.path() + "/f", 2).error, EFBIG);
  EXPECT_EQ(readRegularFileNoFollow(dir.path() + "/missing").error, ENOENT);
}

TEST(URLCache, AnAttachedEngineHearsTheSettingsOfNowAnEarlierEmptyingAndEveryChange) {
  auto& cache = URLCache::shared();
  cache.setMemoryCapacity(0);
  cache.setDiskCapacity(0);
  cache.removeAllCachedResponses();  // before any engine: the disk cache outlives the process
  std::vector<std::string> heard;
  cache.attachEngine({[&](std::uint64_t memory, std::uint64_t disk) {
                        heard.push_back(std::to_string(memory) + "/" + std::to_string(disk));
                      },
                      [&] { heard.push_back("emptied"); }});
  cache.setMemoryCapacity(7);
  cache.setDiskCapacity(9);
  cache.removeAllCachedResponses();
  cache.attachEngine({});  // the other tests run without one
  cache.setDiskCapacity(1);
  EXPECT_EQ(heard, (std::vector<std::string>{"0/0", "emptied", "7/0", "7/9", "emptied"}));
}

}  // namespace
}  // namespace qvad
