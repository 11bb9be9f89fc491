#include "platform/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/main_queue.h"

namespace qvad {
namespace {

TEST(DispatchGroup, NotifiesOnMainOnceEveryWorkerLeft) {
  auto* q = HeadlessMainQueue::current();
  ASSERT_NE(q, nullptr);
  auto group = DispatchGroup::make();
  std::atomic<int> done{0};
  bool notified = false;
  for (int i = 0; i < 8; ++i) {
    group->enter();
    GlobalQueue::async([&, group] {
      done.fetch_add(1);
      group->leave();
    });
  }
  group->notify([&] {
    EXPECT_TRUE(MainQueue::main().isMainThread());
    EXPECT_EQ(done.load(), 8);
    notified = true;
  });
  EXPECT_TRUE(q->runUntil([&] { return notified; }, 10));
}

TEST(DispatchGroup, EmptyGroupNotifiesOnNextTurnAndStrayLeaveIsIgnored) {
  auto* q = HeadlessMainQueue::current();
  auto group = DispatchGroup::make();
  group->leave();
  int calls = 0;
  group->notify([&] { ++calls; });
  EXPECT_EQ(calls, 0);  // posted, never inline
  q->runUntilIdle();
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace qvad
