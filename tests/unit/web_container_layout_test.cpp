#include "web/web_container_layout.h"

#include <gtest/gtest.h>

namespace qvad {
namespace {

TEST(WebContainerLayout, DefaultChromeOnBothStatusBars) {
  for (double bar : {20.0, 44.0}) {
    auto l = webContainerLayout(375, 812, bar, {});
    EXPECT_EQ(l.navigationBar, Rect(0, 0, 375, bar + 44));
    EXPECT_EQ(l.buttonStrip, Rect(0, bar, 375, 44));
    EXPECT_EQ(l.backButton, Rect(2, 0, 44, 44));
    EXPECT_EQ(l.closeButton, Rect(48, 0, 44, 44));
    EXPECT_EQ(l.divider, Rect(0, bar + 43, 44, 1));
    EXPECT_EQ(l.webView, Rect(0, bar + 44, 375, 812 - bar - 44));
    EXPECT_EQ(l.progressBar, Rect(0, bar + 45, 375, 2));
    EXPECT_EQ(l.visibleButtonStripHeight(), 44);
  }
}

TEST(WebContainerLayout, FullscreenClipsTheButtonsAwayByTheStatusBar) {
  auto small = webContainerLayout(375, 667, 20, {.fullscreen = true});
  EXPECT_EQ(small.navigationBar, Rect(0, 0, 375, 44));
  EXPECT_EQ(small.visibleButtonStripHeight(), 24);
  auto notched = webContainerLayout(375, 812, 44, {.fullscreen = true});
  EXPECT_EQ(notched.navigationBar, Rect(0, 0, 375, 44));
  EXPECT_EQ(notched.visibleButtonStripHeight(), 0);
  // The page keeps its place below the full bar: the band above it is left bare.
  EXPECT_EQ(notched.webView, Rect(0, 88, 375, 724));
}

TEST(WebContainerLayout, HiddenTitleBarKeepsTheWhiteBarAndHidesItsButtons) {
  for (double bar : {20.0, 44.0}) {
    auto l = webContainerLayout(375, 812, bar, {.showTitleBar = false});
    EXPECT_EQ(l.navigationBar, Rect(0, 0, 375, bar + 44));
    EXPECT_TRUE(l.buttonStripHidden);
    EXPECT_EQ(l.visibleButtonStripHeight(), 0);
  }
  EXPECT_EQ(webContainerLayout(375, 812, 44, {.showProgressBar = false}).progressBar, Rect());
}

}  // namespace
}  // namespace qvad
