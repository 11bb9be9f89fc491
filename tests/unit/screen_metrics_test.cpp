// Screen metrics and the notched-screen rule.
#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "ui/screen_metrics.h"

namespace qvad {
namespace {

TEST(IsXScreen, TallPhonesUprightOrSidewaysAreNotchedTabletsNever) {
  EXPECT_TRUE(isXScreenFor(375, 812, UserInterfaceIdiom::phone));
  EXPECT_TRUE(isXScreenFor(812, 375, UserInterfaceIdiom::phone));
  EXPECT_FALSE(isXScreenFor(375, 667, UserInterfaceIdiom::phone));
  EXPECT_FALSE(isXScreenFor(375, 812, UserInterfaceIdiom::pad));
  EXPECT_TRUE(isXScreenFor(375, 812, UserInterfaceIdiom::unspecified));
}

TEST(IsXScreen, DegenerateSizesAnswerFalse) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(isXScreenFor(375, 0, UserInterfaceIdiom::phone));
  EXPECT_FALSE(isXScreenFor(0, 0, UserInterfaceIdiom::phone));
  EXPECT_FALSE(isXScreenFor(375, inf, UserInterfaceIdiom::phone));
  EXPECT_FALSE(isXScreenFor(nan, 812, UserInterfaceIdiom::phone));
  EXPECT_FALSE(isXScreenFor(1e308, 1e-308, UserInterfaceIdiom::phone));  // ratio overflows
}

TEST(ScreenMetrics, DefaultHeadlessScreenIsANotchedPhone) {
  // The first read may come from several threads at once; all see the same values.
  std::vector<std::thread> threads;
  std::vector<double> widths(4);
  for (int i = 0; i < 4; ++i) threads.emplace_back([&widths, i] { widths[i] = kScreenWidth(); });
  for (auto& t : threads) t.join();
  for (double w : widths) EXPECT_EQ(w, 375);
  EXPECT_EQ(kScreenHeight(), 812);
  EXPECT_TRUE(isXScreen());
  EXPECT_EQ(kStatusBarHeight(), 44);
}

TEST(ScreenMetrics, FixedAfterFirstReadWhileIsXScreenFollowsTheDevice) {
  double w = kScreenWidth();
  double statusBar = kStatusBarHeight();
  Device::overrideUserInterfaceIdiom(UserInterfaceIdiom::pad);
  EXPECT_FALSE(isXScreen());
  EXPECT_EQ(kStatusBarHeight(), statusBar);
  Device::overrideUserInterfaceIdiom(std::nullopt);
  EXPECT_EQ(kScreenWidth(), w);
}

}  // namespace
}  // namespace qvad
