#include "platform/gtk/main_queue_glib.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/service_slot.h"
#include "qvad/main_loop.h"

namespace qvad {
namespace {

// Generous: only a wedged loop comes near it. Assertions are about order and completion.
constexpr double kWait = 20;

class GlibMainQueueTest : public ::testing::Test {
 protected:
  GlibMainQueue queue;  // on the default main context, as the desktop backend uses it
};

TEST_F(GlibMainQueueTest, TasksPostedFromManyThreadsRunOnTheMainThreadInPostingOrder) {
  constexpr int kThreads = 4, kEach = 200;
  std::vector<std::vector<int>> seen(kThreads);  // touched on the main thread only
  int offMain = 0, total = 0;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        queue.async([&, t, i] {
          if (!queue.isMainThread()) ++offMain;
          seen[t].push_back(i);
          ++total;
        });
      }
    });
  }
  ASSERT_TRUE(queue.runUntil([&] { return total == kThreads * kEach; }, kWait));
  for (auto& p : posters) p.join();
  EXPECT_EQ(offMain, 0);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), std::size_t(kEach));
    for (int i = 0; i < kEach; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
  }
  EXPECT_EQ(queue.pendingTasks(), 0u);
}

TEST_F(GlibMainQueueTest, TimersFireInDueOrderAndCancelledOnesNever) {
  std::string order;
  queue.asyncAfter(0.06, [&] { order += "c"; });
  queue.asyncAfter(0.02, [&] { order += "a"; });
  TimerId doomed = queue.asyncAfter(0.03, [&] { order += "x"; });
  queue.asyncAfter(0.02, [&] { order += "b"; });  // same delay, posted later: fires later
  queue.asyncAfter(-5, [&] { order += "0"; });    // a negative delay means now
  queue.cancel(doomed);
  queue.cancel(doomed);  // twice, and unknown ids, are ignored
  queue.cancel(987654);
  ASSERT_TRUE(queue.runUntil([&] { return order.size() == 4; }, kWait));
  EXPECT_EQ(order, "0abc");
  EXPECT_EQ(queue.pendingTimers(), 0u);
}

TEST_F(GlibMainQueueTest, TimersSetFromAnotherThreadWakeTheLoop) {
  std::atomic<bool> fired{false};
  std::thread setter([&] { queue.asyncAfter(0.01, [&] { fired = true; }); });
  EXPECT_TRUE(queue.runUntil([&] { return fired.load(); }, kWait));
  setter.join();
}

TEST_F(GlibMainQueueTest, RunForRunsWhatFallsDueAndLeavesLaterTimers) {
  bool soon = false, late = false;
  queue.asyncAfter(0.01, [&] { soon = true; });
  queue.asyncAfter(3600, [&] { late = true; });
  queue.runFor(0.1);
  EXPECT_TRUE(soon);
  EXPECT_FALSE(late);
  EXPECT_EQ(queue.pendingTimers(), 1u);
}

TEST_F(GlibMainQueueTest, RunUntilIdleRunsTasksThoseTasksPost) {
  std::string order;
  queue.async([&] {
    order += "a";
    queue.async([&] { order += "c"; });
  });
  queue.async([&] { order += "b"; });
  queue.asyncAfter(3600, [&] { order += "late"; });
  EXPECT_EQ(queue.runUntilIdle(), 3u);
  EXPECT_EQ(order, "abc");
  EXPECT_EQ(queue.runUntilIdle(), 0u);
}

TEST_F(GlibMainQueueTest, RunEndsWhenStoppedFromATaskOrAnotherThread) {
  int ran = 0;
  queue.async([&] { ++ran; });
  queue.async([&] { queue.stop(); });
  queue.run();
  EXPECT_EQ(ran, 1);

  std::thread stopper;
  queue.async([&] { stopper = std::thread([&] { queue.stop(); }); });
  queue.run();  // returns only once the other thread's stop() arrived
  stopper.join();
  queue.stop();  // with nothing running: nothing to end, no effect on the next run
  queue.async([&] { queue.stop(); });
  queue.run();
}

TEST_F(GlibMainQueueTest, ATaskMayRunTheLoopItself) {
  bool inner = false, outer = false;
  queue.async([&] {
    queue.async([&] { inner = true; });
    EXPECT_TRUE(queue.runUntil([&] { return inner; }, kWait)) << "the queue's own tasks run in a nested loop";
    outer = true;
  });
  EXPECT_TRUE(queue.runUntil([&] { return outer; }, kWait));
}

TEST_F(GlibMainQueueTest, RunUntilGivesUpAfterItsTimeOut) {
  EXPECT_FALSE(queue.runUntil([] { return false; }, 0.05));
  EXPECT_TRUE(queue.runUntil([] { return true; }, 0));
}

// On a context of the test's own nothing else in the process has sources, so what
// iterate() reports comes from the queue and the test alone.
class GlibIterateTest : public ::testing::Test {
 protected:
  ~GlibIterateTest() override {
    queue.reset();  // drops what is still queued
    g_main_context_unref(context);
  }
  GMainContext* context = g_main_context_new();
  std::unique_ptr<GlibMainQueue> queue = std::make_unique<GlibMainQueue>(context);
};

TEST_F(GlibIterateTest, RunsReadyTasksAndDueTimersWithoutWaitingForLaterOnes) {
  std::string order;
  queue->async([&] {
    order += "a";
    queue->async([&] { order += "b"; });
  });
  queue->asyncAfter(0, [&] { order += "t"; });
  queue->asyncAfter(2, [&] { order += "late"; });
  EXPECT_TRUE(queue->iterate());
  EXPECT_EQ(order, "atb");
  EXPECT_FALSE(queue->iterate()) << "waiting for the later timer would have run it";
  EXPECT_EQ(queue->pendingTimers(), 1u);
}

TEST_F(GlibIterateTest, ReturnsWhileSourcesKeepBecomingReady) {
  int reposts = 0;
  std::function<void()> again = [&] {
    ++reposts;
    queue->async(again);
  };
  queue->async(again);
  EXPECT_TRUE(queue->iterate());
  EXPECT_GT(reposts, 1) << "a chain of posts goes on within the call";
  EXPECT_LE(reposts, MainQueue::kIterateRounds);
  const int first = reposts;
  EXPECT_TRUE(queue->iterate());
  EXPECT_GT(reposts, first) << "and resumes in the next";

  // Another source of the context that is always ready: a toolkit's idle handler.
  int idles = 0;
  GSource* busy = g_idle_source_new();
  g_source_set_callback(
      busy,
      [](gpointer count) -> gboolean {
        ++*static_cast<int*>(count);
        return G_SOURCE_CONTINUE;
      },
      &idles, nullptr);
  g_source_attach(busy, context);
  queue.reset();  // only the idle source is left
  queue = std::make_unique<GlibMainQueue>(context);
  EXPECT_TRUE(queue->iterate());
  EXPECT_GE(idles, 1);
  EXPECT_LE(idles, MainQueue::kIterateRounds);
  g_source_destroy(busy);
  g_source_unref(busy);
}

TEST(GlibMainQueue, ADestroyedQueueDropsWhatItHeldWithoutRunningIt) {
  auto token = std::make_shared<int>(0);
  bool ran = false;
  {
    GlibMainQueue queue;
    queue.async([&ran, token] { ran = true; });
    queue.asyncAfter(0, [&ran, token] { ran = true; });
    EXPECT_EQ(token.use_count(), 3);
  }
  EXPECT_EQ(token.use_count(), 1);
  GlibMainQueue next;  // the default context no longer dispatches the old queue
  next.runUntilIdle();
  EXPECT_FALSE(ran);
}

TEST(GlibMainQueue, DrivesTheLibrarysMainLoopWhenInstalled) {
  auto glib = std::make_shared<GlibMainQueue>();
  ScopedServiceOverride<MainQueue> installed(MainQueue::slot(), glib);
  bool done = false;
  std::thread worker([&] { dispatchMain([&] { done = MainQueue::main().isMainThread(); }); });
  EXPECT_TRUE(QvMainLoop::runUntil([&] { return done; }, kWait));
  worker.join();
  bool turned = false;
  dispatchMain([&] { turned = true; });
  EXPECT_TRUE(QvMainLoop::iterate());
  EXPECT_TRUE(turned) << "one turn of a host's own loop runs the library's posted work";
  dispatchMain([] { QvMainLoop::stop(); });
  QvMainLoop::run();
}

}  // namespace
}  // namespace qvad
