// The GTK example host against the sandbox, driven as a person does: clicks through the
// display server, on the host's own widgets and on the library's views over them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "gtk_host_app.h"
#include "host_fixture.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "ui/qv_gif_view.h"

namespace qvad::hosts {
namespace {

using example::GtkHostApp;

class GtkHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useSandbox();
    app = std::make_unique<GtkHostApp>();
    app->start("demo-app", "demo-secret");
    ASSERT_TRUE(runUntil([&] { return app->badgeShown && app->rewardLoaded && app->interstitialLoaded; }, 30))
        << app->lastEvent;
    ASSERT_TRUE(runUntil([&] { return badge() && badge()->gifView()->frames(); }, 10)) << "no picture";
    runFor(0.3);  // drawn
  }
  void TearDown() override { app.reset(); }

  std::shared_ptr<QvInterActiveAdView> badge() const {
    for (const auto& v : app->host()->view()->subviews())
      if (auto b = std::dynamic_pointer_cast<QvInterActiveAdView>(v)) return b;
    return nullptr;
  }
  void clickTextViewBesideTheBadge() {
    int x = 0, y = 0;
    // The text view's bottom-left: far from the badge, and from the controls of the ad pages.
    GtkWidget* frame = gtk_widget_get_parent(app->textView());
    widgetToRoot(frame, 12, gtk_widget_get_allocated_height(frame) - 12, x, y);
    personClickAt(x, y);
  }
  // What the host's window holds of the library, for messages.
  std::string onTop() const {
    std::string names;
    for (const auto& v : hostView(*app->host())->subviews()) names += std::string(v->className()) + " ";
    return names;
  }
  int hostWidth() const { return static_cast<int>(hostView(*app->host())->frame().width()); }

  std::unique_ptr<GtkHostApp> app;
};

TEST_F(GtkHostTest, HostWidgetsBesideTheBadgeGetTheirClicksAndTheBadgeOpensTheBrowser) {
  EXPECT_EQ(QvHostWindow::attach(app->window()), app->host()) << "a second attach gives the same host window";
  // The badge lies over the text view.
  int tx = 0, ty = 0;
  widgetToRoot(app->textView(), 0, 0, tx, ty);
  const Rect picture = frameInHost(*badge()->gifView());
  EXPECT_GT(picture.x(), 0);
  EXPECT_LT(picture.maxY(), gtk_widget_get_allocated_height(GTK_WIDGET(app->window())));

  clickTextViewBesideTheBadge();
  ASSERT_TRUE(runUntil([&] { return app->textViewPresses == 1; }, 5)) << "the host's text view got no press";
  EXPECT_FALSE(app->badgeClicked);
  if (const char* dir = std::getenv("QVAD_SCREENSHOT_DIR")) {
    EXPECT_TRUE(writeWindowPng(GTK_WIDGET(app->window()), std::string(dir) + "/gtk-host.png"));
  }

  personClickOn(*app->host(), *badge()->gifView());
  ASSERT_TRUE(runUntil([&] { return app->badgeClicked && covered(*app->host()); }, 10)) << app->lastEvent;
  // The browser covers the window: the host's button beneath gets nothing.
  runFor(1);
  personClick(app->rewardButton());
  runFor(0.5);
  EXPECT_EQ(app->rewardClicks, 0);

  auto close = findButton(*app->host(), "Close");
  ASSERT_TRUE(close);
  personClickOn(*app->host(), *close);
  ASSERT_TRUE(runUntil([&] { return !covered(*app->host()); }, 10));
  runFor(0.3);  // the next frame takes the cover away
  clickTextViewBesideTheBadge();
  EXPECT_TRUE(runUntil([&] { return app->textViewPresses == 2; }, 5)) << "the text view works again; over it: " << onTop();
}

TEST_F(GtkHostTest, RewardVideoCoversTheWindowFollowsItsSizeAndClosesFromTheBackButton) {
  personClick(app->rewardButton());
  ASSERT_TRUE(runUntil([&] { return app->rewardShown; }, 40)) << app->lastEvent;
  auto container = presentedContainer(*app->host());
  ASSERT_TRUE(container);
  ASSERT_TRUE(runUntil([&] { return !container->transitionInProgress(); }, 5));
  EXPECT_EQ(app->rewardClicks, 1);

  // While the page is up the host's own widgets get neither clicks nor presses.
  personClick(app->interstitialButton());
  clickTextViewBesideTheBadge();
  runFor(0.5);
  EXPECT_EQ(app->interstitialClicks, 0);
  EXPECT_EQ(app->textViewPresses, 0);
  ASSERT_FALSE(app->rewardClosed) << "a click meant for the host closed the ad";

  // A resize while it is up: the host's screen follows the window.
  const int before = hostWidth();
  gtk_window_resize(app->window(), 600, 700);
  EXPECT_TRUE(runUntil([&] { return hostWidth() != before; }, 5)) << "the host screen kept its size";
  EXPECT_TRUE(runUntil([&] { return container->webView->frame().width() == hostWidth(); }, 5))
      << "the page was not re-laid: " << container->webView->frame().width() << " in " << hostWidth()
      << " (container " << container->view()->frame().width() << ")";
  EXPECT_TRUE(runUntil([&] { return evaluate(*container->webView, "String(window.innerWidth)") == std::to_string(hostWidth()); }, 5))
      << "the page's own width stayed " << evaluate(*container->webView, "String(window.innerWidth)");

  expectPageHearsMinimiseAndRestore(
      *container->webView, [&] { gtk_window_iconify(app->window()); },
      [&] {
        gtk_window_deiconify(app->window());
        gtk_window_present(app->window());
      });

  personClickOn(*app->host(), *container->backBtn);
  ASSERT_TRUE(runUntil([&] { return app->rewardClosed && !covered(*app->host()); }, 10)) << app->lastEvent;
  runFor(0.3);
  clickTextViewBesideTheBadge();
  EXPECT_TRUE(runUntil([&] { return app->textViewPresses == 1; }, 5)) << "the text view works again";
}

TEST_F(GtkHostTest, DetachClosesTheAdAndGivesTheHostItsWidgetsBack) {
  GtkWidget* content = gtk_widget_get_parent(gtk_widget_get_parent(app->textView()));  // the host's box
  personClick(app->interstitialButton());
  ASSERT_TRUE(runUntil([&] { return app->interstitialShown; }, 40)) << app->lastEvent;

  app->host()->detach();
  EXPECT_FALSE(app->host()->isAttached());
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(app->window())), content) << "the host's own content is the child again";
  EXPECT_TRUE(runUntil([&] { return app->interstitialClosed; }, 10)) << "no did-close for the ad that was up";
  EXPECT_TRUE(app->host()->view()->subviews().empty()) << "the badge went with the host screen";

  clickTextViewBesideTheBadge();
  EXPECT_TRUE(runUntil([&] { return app->textViewPresses == 1; }, 5));
}

}  // namespace
}  // namespace qvad::hosts

namespace qvad::hosts {
namespace {

TEST(HostWindow, CallsOffTheMainThreadStopTheProcessAndANullWindowAttachesNothing) {
  EXPECT_EQ(QvHostWindow::attach(nullptr), nullptr);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(std::thread([] { QvHostWindow::attach(nullptr); }).join(), "main thread");
}

TEST(HostWindow, WindowOfItsOwnIsAPhoneSizedScreenThatGoesOnDetach) {
  auto host = QvHostWindow::overNativeWindow(0);
  ASSERT_TRUE(host);
  EXPECT_EQ(host->nativeWindow(), 0u);
  ASSERT_TRUE(runUntil([&] { return hostView(*host)->frame().width() == 375; }, 5));
  EXPECT_EQ(hostView(*host)->frame().height(), 812);
  EXPECT_NE(QvHostWindow::overNativeWindow(0), host) << "each call opens a window of its own";
  host.reset();
  runFor(0.2);
  GList* all = gtk_window_list_toplevels();
  int mapped = 0;
  for (GList* l = all; l; l = l->next) mapped += gtk_widget_get_mapped(GTK_WIDGET(l->data)) ? 1 : 0;
  g_list_free(all);
  EXPECT_EQ(mapped, 0) << "the library's windows close with their host windows";
}

}  // namespace
}  // namespace qvad::hosts
