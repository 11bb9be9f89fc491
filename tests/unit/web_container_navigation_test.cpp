#include <gtest/gtest.h>

#include "ui/open_sfvc_manager.h"
#include "support/web_container_fixture.h"

namespace qvad::testing {
namespace {

using Strings = std::vector<std::string>;

class WebContainerNavigationTest : public WebContainerTest {
 protected:
  std::shared_ptr<BaseWKWebViewController> shownPage() {
    auto c = show("https://ads.example/page");
    page(*c).deliverLoad(page(*c).loadCalls()[0].navigation, "https://ads.example/page");
    return c;
  }
  NavigationActionPolicy decide(BaseWKWebViewController& c, const NavigationAction& action) {
    auto answers = page(c).decidePolicy(action);
    EXPECT_EQ(answers->count(), 1u);  // exactly once per question
    return answers->answered() ? answers->value() : NavigationActionPolicy::download;
  }
  static NavigationAction other(const std::string& url) {
    NavigationAction a = ScriptedWebView::linkAction(url);
    a.navigationType = NavigationType::other;
    return a;
  }
};

TEST_F(WebContainerNavigationTest, CloseURLClosesTheContainer) {
  LogCapture log;
  auto c = shownPage();
  EXPECT_EQ(decide(*c, other("tavro://webview/close?reason=done")), NavigationActionPolicy::cancel);
  EXPECT_EQ(*events, Strings{"adWillClose"});
  runFor(1);
  EXPECT_EQ(*events, (Strings{"adWillClose", "adDidClose"}));
  EXPECT_TRUE(log.contains("tavro://webview/close?reason=done"));  // every URL is printed
}

TEST_F(WebContainerNavigationTest, ContainerURLsNestAContainerWithTheSameReceiver) {
  auto c = shownPage();
  EXPECT_EQ(decide(*c, ScriptedWebView::linkAction("tavro://webview?url=https%3A%2F%2Fads.example%2Fnested")),
            NavigationActionPolicy::cancel);
  runFor(1);
  auto nested = std::dynamic_pointer_cast<BaseWKWebViewController>(c->presentedViewController());
  ASSERT_TRUE(nested);
  EXPECT_EQ(lastLoadedURL(*nested), "https://ads.example/nested");
  EXPECT_EQ(page(*c).loadCalls().size(), 1u);  // the current page stays
  page(*nested).postMessage("tavro", bridgeMessage("adCallBack", {{"action", "adDidClick"}}));
  runUntilIdle();
  EXPECT_EQ(*events, Strings{"adDidClick"});
}

TEST_F(WebContainerNavigationTest, OtherSchemesAreHandedToTheSystem) {
  auto c = shownPage();
  EXPECT_EQ(decide(*c, ScriptedWebView::linkAction("mailto:a@b.example")), NavigationActionPolicy::cancel);
  setSystemOpensURLs(false);
  EXPECT_EQ(decide(*c, ScriptedWebView::linkAction("tel:123")), NavigationActionPolicy::allow);
  // The system never sees the schemes it must not open.
  EXPECT_EQ(decide(*c, ScriptedWebView::linkAction("javascript:alert(1)")), NavigationActionPolicy::allow);
  EXPECT_EQ(Application::shared().openedURLs(), (Strings{"mailto:a@b.example", "tel:123"}));
}

TEST_F(WebContainerNavigationTest, LinksGoToTheBrowserOnlyWhenThePageAsked) {
  auto c = shownPage();
  EXPECT_EQ(decide(*c, ScriptedWebView::linkAction("https://ads.example/next")), NavigationActionPolicy::allow);
  page(*c).postMessage("tavro", bridgeMessage("pageConfig", {{"link_new_window", true}}));
  runUntilIdle();
  ASSERT_TRUE(c->linkNewWindow);
  EXPECT_EQ(decide(*c, other("https://ads.example/redirect")), NavigationActionPolicy::allow);
  EXPECT_EQ(decide(*c, ScriptedWebView::linkAction("https://ads.example/next")), NavigationActionPolicy::cancel);
  runFor(1);
  auto browser = OpenSFVCManager::shared().safariViewController();
  ASSERT_TRUE(browser);
  EXPECT_EQ(browser->url(), "https://ads.example/next");
  EXPECT_EQ(c->presentedViewController(), browser);
}

TEST_F(WebContainerNavigationTest, NewWindowsLoadInPlace) {
  auto c = shownPage();
  EXPECT_FALSE(page(*c).requestNewWindow(ScriptedWebView::newWindowAction("https://ads.example/popup")));
  EXPECT_EQ(lastLoadedURL(*c), "https://ads.example/popup");
  auto mainFrame = ScriptedWebView::linkAction("https://ads.example/main");
  EXPECT_FALSE(page(*c).requestNewWindow(mainFrame));
  EXPECT_EQ(lastLoadedURL(*c), "https://ads.example/popup");
  auto subFrame = ScriptedWebView::linkAction("https://ads.example/frame");
  subFrame.targetFrame->isMainFrame = false;
  page(*c).requestNewWindow(subFrame);
  EXPECT_EQ(lastLoadedURL(*c), "https://ads.example/frame");
}

}  // namespace
}  // namespace qvad::testing
