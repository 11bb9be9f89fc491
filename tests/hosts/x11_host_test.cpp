// The Xlib example host against the sandbox: its own event loop calling the library each
// turn, the library's windows kept over its window, a person's clicks through the
// display server reaching the host wherever the library shows nothing.
#include <gtest/gtest.h>

#include "host_fixture.h"
#include "platform/gtk/host_screen.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "ui/qv_gif_view.h"
#include "x11_host_app.h"

// Last: the X headers define macros that the headers above must not see.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace qvad::hosts {
namespace {

using example::X11HostApp;

class X11HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useSandbox();
    app = std::make_unique<X11HostApp>();
    ASSERT_TRUE(app->ok());
    step = [this] { app->step(10); };
    runFor(0.3, step);  // mapped
    app->start("demo-app", "demo-secret");
    ASSERT_TRUE(app->host());
    ASSERT_TRUE(runUntil([&] { return app->badgeShown && app->rewardLoaded && app->interstitialLoaded; }, 30, step))
        << app->lastEvent;
    ASSERT_TRUE(runUntil([&] { return badge() && badge()->gifView()->frames(); }, 10, step));
    runFor(0.3, step);
  }
  void TearDown() override { app.reset(); }

  std::shared_ptr<QvInterActiveAdView> badge() const {
    for (const auto& v : app->host()->view()->subviews())
      if (auto b = std::dynamic_pointer_cast<QvInterActiveAdView>(v)) return b;
    return nullptr;
  }
  // A point of the host's own window, on the screen.
  void clickHostAt(int x, int y) {
    int rx = 0, ry = 0;
    ::Window child;
    XTranslateCoordinates(app->display(), app->window(), DefaultRootWindow(app->display()), x, y, &rx, &ry, &child);
    personClickAt(rx, ry);
  }
  void clickHostBox(const example::Box& b) { clickHostAt(b.x + b.width / 2, b.y + b.height / 2); }
  // Where the library's window over the host sits on the screen.
  std::pair<int, int> overlayOrigin() {
    std::pair<int, int> at{-1, -1};
    if (GtkWidget* w = hostScreenWidget(*app->host())) widgetToRoot(w, 0, 0, at.first, at.second);
    return at;
  }
  std::pair<int, int> hostOrigin() {
    int rx = 0, ry = 0;
    ::Window child;
    XTranslateCoordinates(app->display(), app->window(), DefaultRootWindow(app->display()), 0, 0, &rx, &ry, &child);
    return {rx, ry};
  }

  std::unique_ptr<X11HostApp> app;
  std::function<void()> step;
};

TEST_F(X11HostTest, ClicksBesideTheBadgeReachTheHostAndTheBadgeOpensTheBrowser) {
  EXPECT_EQ(overlayOrigin(), hostOrigin()) << "the library's window lies exactly over the host's";
  const Rect picture = frameInHost(*badge()->gifView());
  // Just left of the badge, inside the host's canvas: the host's own window gets it.
  clickHostAt(static_cast<int>(picture.x()) - 10, static_cast<int>(picture.center().y));
  ASSERT_TRUE(runUntil([&] { return app->canvasClicks == 1; }, 5, step)) << "the host's canvas got no click";

  personClickOn(*app->host(), *badge()->gifView());
  ASSERT_TRUE(runUntil([&] { return app->badgeClicked && covered(*app->host()); }, 10, step)) << app->lastEvent;
  runFor(1, step);
  clickHostBox(X11HostApp::kRewardButton);
  runFor(0.5, step);
  EXPECT_EQ(app->rewardClicks, 0) << "the browser covers the host: its button got the click";

  auto close = findButton(*app->host(), "Close");
  ASSERT_TRUE(close);
  personClickOn(*app->host(), *close);
  ASSERT_TRUE(runUntil([&] { return !covered(*app->host()); }, 10, step));
  runFor(0.3, step);
  clickHostAt(static_cast<int>(picture.x()) - 10, static_cast<int>(picture.center().y));
  EXPECT_TRUE(runUntil([&] { return app->canvasClicks == 2; }, 5, step)) << "the canvas works again";
}

TEST_F(X11HostTest, RewardVideoCoversTheHostFollowsItAndClosesFromTheBackButton) {
  clickHostBox(X11HostApp::kRewardButton);
  ASSERT_TRUE(runUntil([&] { return app->rewardShown; }, 40, step)) << app->lastEvent;
  auto container = presentedContainer(*app->host());
  ASSERT_TRUE(container);
  ASSERT_TRUE(runUntil([&] { return !container->transitionInProgress(); }, 5, step));

  clickHostBox(X11HostApp::kInterstitialButton);
  runFor(0.5, step);
  EXPECT_EQ(app->interstitialClicks, 0) << "the page covers the host: its button got the click";

  // The host moves and grows its window; the library's follows and re-lays the page.
  XMoveResizeWindow(app->display(), app->window(), 160, 120, 520, 680);
  XFlush(app->display());
  EXPECT_TRUE(runUntil([&] { return overlayOrigin() == hostOrigin(); }, 5, step)) << "the ad window stayed behind";
  EXPECT_TRUE(runUntil([&] { return container->webView->frame().width() == 520; }, 5, step))
      << container->webView->frame().width();

  expectPageHearsMinimiseAndRestore(
      *container->webView,
      [&] {
        XIconifyWindow(app->display(), app->window(), DefaultScreen(app->display()));
        XFlush(app->display());
      },
      [&] {
        XMapRaised(app->display(), app->window());
        XFlush(app->display());
      },
      step);

  personClickOn(*app->host(), *container->backBtn);
  ASSERT_TRUE(runUntil([&] { return app->rewardClosed && !covered(*app->host()); }, 10, step)) << app->lastEvent;
  runFor(0.3, step);
  clickHostAt(X11HostApp::kCanvas.x + 20, X11HostApp::kCanvas.y + 20);
  EXPECT_TRUE(runUntil([&] { return app->canvasClicks == 1; }, 5, step)) << "the host's canvas works again";
}

}  // namespace
}  // namespace qvad::hosts
