// Screen metrics and the notched-screen rule.
#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

#include "support/scoped_screen.h"
#include "ui/screen_metrics.h"

namespace qvad {
namespace {

TEST(IsXScreen, TallPhonesUprightOrSidewaysAreNotchedTabletsAndDegenerateSizesNever) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  using I = UserInterfaceIdiom;
  const struct {
    double w, h;
    I idiom;
    bool notched;
  } cases[] = {{375, 812, I::phone, true}, {812, 375, I::phone, true},  {375, 667, I::phone, false},
               {375, 812, I::pad, false},  {375, 812, I::unspecified, true}, {375, 0, I::phone, false},
               {0, 0, I::phone, false},    {375, inf, I::phone, false}, {nan, 812, I::phone, false},
               {1e308, 1e-308, I::phone, false}};  // the last one's ratio overflows
  for (const auto& c : cases) EXPECT_EQ(isXScreenFor(c.w, c.h, c.idiom), c.notched) << c.w << "x" << c.h;
}

TEST(ScreenMetrics, DefaultHeadlessScreenIsANotchedPhone) {
  // The status bar's first read may come from several threads at once; all see one value.
  std::vector<std::thread> threads;
  std::vector<double> widths(4), bars(4);
  for (int i = 0; i < 4; ++i) threads.emplace_back([&widths, &bars, i] {
    bars[i] = kStatusBarHeight();
    widths[i] = kScreenWidth();
  });
  for (auto& t : threads) t.join();
  for (double w : widths) EXPECT_EQ(w, 375);
  for (double b : bars) EXPECT_EQ(b, 44);
  EXPECT_EQ(kScreenHeight(), 812);
  EXPECT_TRUE(isXScreen());
  EXPECT_EQ(kStatusBarHeight(), 44);
}

TEST(ScreenMetrics, WidthAndHeightFollowTheScreenWhileTheStatusBarHeightStays) {
  const double statusBar = kStatusBarHeight();
  {
    testing::ScopedScreen sideways(812, 375);
    EXPECT_EQ(kScreenWidth(), 812);
    EXPECT_EQ(kScreenHeight(), 375);
    Screen::configure(600, 900);  // no notch shape, yet the status bar keeps its height
    EXPECT_EQ(kScreenWidth(), 600);
    EXPECT_EQ(kScreenHeight(), 900);
    EXPECT_FALSE(isXScreen());
    EXPECT_EQ(kStatusBarHeight(), statusBar);
  }
  EXPECT_EQ(kScreenWidth(), 375);
  EXPECT_EQ(kScreenHeight(), 812);
  Device::overrideUserInterfaceIdiom(UserInterfaceIdiom::pad);
  EXPECT_FALSE(isXScreen());
  EXPECT_EQ(kStatusBarHeight(), statusBar);
  Device::overrideUserInterfaceIdiom(std::nullopt);
}

TEST(ScreenMetrics, ReadsWhileAnotherThreadConfiguresTheScreenSeeOneOfItsSizes) {
  testing::ScopedScreen screen(375, 812);
  std::atomic<bool> stop = false;
  std::thread configurer([&stop] {
    for (int i = 0; !stop; ++i) Screen::configure(i % 2 ? 812 : 375, i % 2 ? 375 : 812);
  });
  for (int i = 0; i < 2000; ++i) {
    const double w = kScreenWidth();
    EXPECT_TRUE(w == 375 || w == 812) << w;
  }
  stop = true;
  configurer.join();
}

}  // namespace
}  // namespace qvad
