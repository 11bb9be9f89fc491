// The in-app browser and its opener: scheme rule, presentation over the top screen,
// waiting for a running transition, and closing through the dismiss button.
#include <gtest/gtest.h>

#include "platform/headless/scripted_web_view.h"
#include "support/toolkit_fixture.h"
#include "ui/open_sfvc_manager.h"

namespace qvad {
namespace {

class FloatingBrowserTest : public testing::ToolkitTest {
 protected:
  std::shared_ptr<OpenSFVCManager> opener = OpenSFVCManager::make();
  std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
  std::shared_ptr<Window> window = makeKeyWindow(root);

  std::shared_ptr<InAppBrowserController> presentedBrowser(const std::shared_ptr<ViewController>& on) const {
    return std::dynamic_pointer_cast<InAppBrowserController>(on->presentedViewController());
  }
};

TEST_F(FloatingBrowserTest, OnlySchemesContainingLowerCaseHttpOpen) {
  for (const char* url : {"tavro://webview?x=1", "example.com/landing", "HTTPS://example.com", "//example.com/x",
                          "1http://x", "", "javascript:alert(1)"}) {
    EXPECT_FALSE(opener->openURLWithSafariViewController(url)) << url;
  }
  runFor(1);
  EXPECT_FALSE(root->presentedViewController());
  EXPECT_FALSE(opener->safariViewController());
  // The test is a substring one, as hosts' pages have always relied on.
  EXPECT_EQ(OpenSFVCManager::urlScheme("x-https+v1.0:rest"), "x-https+v1.0");
  EXPECT_TRUE(opener->openURLWithSafariViewController("x-https+v1.0:rest"));
}

TEST_F(FloatingBrowserTest, IdleScreenGetsTheBrowserAtOnceOverFullScreenWithAClose) {
  EXPECT_TRUE(opener->openURLWithSafariViewController("https://example.com/landing"));
  auto browser = presentedBrowser(root);
  ASSERT_TRUE(browser);
  EXPECT_EQ(opener->safariViewController(), browser);
  EXPECT_EQ(browser->url(), "https://example.com/landing");
  EXPECT_EQ(browser->dismissButton()->title(), "Close");
  auto page = std::dynamic_pointer_cast<ScriptedWebView>(browser->webView());
  ASSERT_TRUE(page);
  ASSERT_EQ(page->loadCalls().size(), 1u);
  EXPECT_EQ(page->loadCalls()[0].request.url, "https://example.com/landing");
  runFor(1);
  // Over full screen: the host's screen stays beneath the browser.
  EXPECT_EQ(root->view()->superview(), window);
  EXPECT_EQ(browser->view()->superview(), window);
}

TEST_F(FloatingBrowserTest, APresentationInProgressIsWaitedFor) {
  auto shown = std::make_shared<ViewController>();
  root->present(shown, true);
  EXPECT_TRUE(opener->openURLWithSafariViewController("https://example.com/a"));
  EXPECT_FALSE(presentedBrowser(shown));
  runFor(kTransitionDuration / 2);
  EXPECT_FALSE(presentedBrowser(shown));
  runFor(kTransitionDuration);
  EXPECT_TRUE(presentedBrowser(shown));
}

TEST_F(FloatingBrowserTest, ADismissalInProgressPresentsOnTheScreenLeftBehind) {
  auto shown = std::make_shared<ViewController>();
  root->present(shown, false);
  runUntilIdle();
  shown->dismiss(true);
  EXPECT_TRUE(opener->openURLWithSafariViewController("https://example.com/a"));
  runFor(1);
  EXPECT_FALSE(shown->presentedViewController());
  auto browser = presentedBrowser(root);
  ASSERT_TRUE(browser);
  EXPECT_EQ(browser->view()->superview(), window);
}

TEST_F(FloatingBrowserTest, TheDismissButtonClosesTheBrowserAndTheManagerForgetsIt) {
  ASSERT_TRUE(opener->openURLWithSafariViewController("https://example.com/a"));
  runFor(1);
  std::weak_ptr<InAppBrowserController> first = opener->safariViewController();
  ASSERT_TRUE(first.lock());
  EXPECT_TRUE(first.lock()->dismissButton()->tap());
  EXPECT_TRUE(opener->safariViewController()) << "kept until the dismissal finished";
  runFor(1);
  EXPECT_FALSE(opener->safariViewController());
  EXPECT_FALSE(root->presentedViewController());
  EXPECT_FALSE(first.lock()) << "a closed browser is released";

  ASSERT_TRUE(opener->openURLWithSafariViewController("https://example.com/b"));
  ASSERT_TRUE(opener->safariViewController());
  EXPECT_EQ(opener->safariViewController()->url(), "https://example.com/b");
}

TEST_F(FloatingBrowserTest, WithoutAScreenTheBrowserIsMadeButNotShown) {
  Application::shared().setKeyWindow(nullptr);
  EXPECT_TRUE(opener->openURLWithSafariViewController("https://example.com/a"));
  ASSERT_TRUE(opener->safariViewController());
  EXPECT_FALSE(root->presentedViewController());
}

}  // namespace
}  // namespace qvad
