#include "platform/service_slot.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "platform/main_queue.h"

namespace qvad {
namespace {

struct Widget {
  explicit Widget(int v) : value(v) {}
  int value;
};

int defaultsMade = 0;
std::shared_ptr<Widget> makeDefaultWidget() {
  ++defaultsMade;
  return std::make_shared<Widget>(0);
}

class ServiceSlotTest : public ::testing::Test {
 protected:
  void SetUp() override { defaultsMade = 0; }
  ServiceSlot<Widget> slot{"widget service", makeDefaultWidget};
};

TEST_F(ServiceSlotTest, DefaultIsMadeOnceAtFirstUseUnlessInstalledBefore) {
  auto first = slot.get();
  EXPECT_EQ(first->value, 0);
  EXPECT_EQ(slot.get(), first);
  EXPECT_EQ(defaultsMade, 1);

  ServiceSlot<Widget> other{"widget service", makeDefaultWidget};
  other.install(std::make_shared<Widget>(7));
  other.install(std::make_shared<Widget>(8));  // still before first use: the last one wins
  EXPECT_FALSE(other.used());
  EXPECT_EQ(other.get()->value, 8);
  EXPECT_EQ(defaultsMade, 1) << "no default made when one was installed";
}

TEST_F(ServiceSlotTest, InstallingAfterFirstUseOrNothingStopsWithAMessageNamingTheService) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  slot.get();
  EXPECT_DEATH(slot.install(std::make_shared<Widget>(1)), "widget service installed after first use");
  ServiceSlot<Widget> fresh{"widget service", makeDefaultWidget};
  EXPECT_DEATH(fresh.install(nullptr), "cannot install an empty widget service");
}

TEST_F(ServiceSlotTest, OverridesNestAndRestoreWhatWasThere) {
  {
    ScopedServiceOverride<Widget> outer(slot, std::make_shared<Widget>(1));
    EXPECT_EQ(slot.get()->value, 1);
    {
      ScopedServiceOverride<Widget> inner(slot, std::make_shared<Widget>(2));
      EXPECT_EQ(slot.get()->value, 2);
    }
    EXPECT_EQ(slot.get()->value, 1);
  }
  // Nothing was there before the outer override: the default is made on the next use.
  EXPECT_EQ(defaultsMade, 0);
  EXPECT_EQ(slot.get()->value, 0);
  EXPECT_EQ(defaultsMade, 1);

  auto made = slot.get();
  {
    ScopedServiceOverride<Widget> o(slot, std::make_shared<Widget>(3));
    EXPECT_EQ(slot.get()->value, 3);
  }
  EXPECT_EQ(slot.get(), made);
}

TEST(MainThread, IsTheProcesssFirstThreadWhicheverThreadMadeTheQueue) {
  std::shared_ptr<HeadlessMainQueue> queue;
  std::thread([&] { queue = std::make_shared<HeadlessMainQueue>(); }).join();
  EXPECT_TRUE(queue->isMainThread());
  bool onWorker = true;
  std::thread([&] { onWorker = queue->isMainThread(); }).join();
  EXPECT_FALSE(onWorker);

  std::thread([&] {
    queue->bindToCurrentThread();
    onWorker = queue->isMainThread();
  }).join();
  EXPECT_TRUE(onWorker);
  EXPECT_FALSE(queue->isMainThread());
}

}  // namespace
}  // namespace qvad
