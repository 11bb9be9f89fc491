#include <gtest/gtest.h>

#include "support/fixed_services.h"
#include "platform/defaults.h"
#include "platform/notification_center.h"
#include "platform/render/renderer.h"
#include "platform/toolkit/navigation_controller.h"
#include "platform/url_cache.h"
#include "ui/net_setting_view.h"
#include "ui/screen_metrics.h"
#include "support/web_container_fixture.h"

namespace qvad::testing {
namespace {

using Strings = std::vector<std::string>;

TEST_F(WebContainerTest, EntryPointsReadPageOptionsOnlyFromContainerURLs) {
  auto plain = show("tavro://webview");  // no question mark: shown as the page itself
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->url, "tavro://webview");
  EXPECT_EQ(plain->modalPresentationStyle(), ModalPresentationStyle::custom);
  EXPECT_EQ(lastLoadedURL(*plain), "tavro://webview");
  plain->dismiss(false);
  runFor(1);

  auto options = show("tavro://webview?url=https%3A%2F%2Fads.example%2Fp&page_statebar=0&page_statusbar_light=1");
  ASSERT_TRUE(options);
  EXPECT_EQ(options->url, "https://ads.example/p");
  EXPECT_TRUE(options->prefersStatusBarHidden());
  EXPECT_EQ(options->preferredStatusBarStyle(), StatusBarStyle::lightContent);
  ASSERT_EQ(page(*options).loadCalls().size(), 1u);
  const auto& first = page(*options).loadCalls()[0].request;
  EXPECT_EQ(first.timeoutSeconds, 20);
  EXPECT_EQ(first.cachePolicy, WebCachePolicy::useProtocolCachePolicy);
  EXPECT_EQ(options->firstRequest, first);
  // Options are read once: later changes move no chrome, status answers follow.
  options->showStatusBar = true;
  EXPECT_FALSE(options->prefersStatusBarHidden());
}

TEST_F(WebContainerTest, ChromeFollowsTheOptionsOnTheHeadlessScreen) {
  auto c = show("tavro://webview?url=https://ads.example/&page_titlebar=0&page_progressbar=0");
  ASSERT_TRUE(c);
  const double top = kStatusBarHeight() + 44;
  EXPECT_EQ(c->webView->frame(), Rect(0, top, kScreenWidth(), kScreenHeight() - top));
  EXPECT_TRUE(c->navigationBarView->clipsToBounds());
  EXPECT_TRUE(c->buttonStripView->isHidden());
  EXPECT_EQ(c->progressView->frame(), Rect());
  EXPECT_TRUE(c->closeBtn->isHidden());
  EXPECT_FALSE(c->backBtn->isHidden());
  // The progress bar sits above the page; the bar above both.
  const auto& subs = c->view()->subviews();
  EXPECT_LT(std::find(subs.begin(), subs.end(), c->webView), std::find(subs.begin(), subs.end(), c->progressView));
  EXPECT_FALSE(c->webView->showsHorizontalScrollIndicator());
  EXPECT_TRUE(c->webView->configuration().javaScriptCanOpenWindowsAutomatically);
  EXPECT_FALSE(c->webView->configuration().requiresUserActionForMediaPlayback);
}

TEST_F(WebContainerTest, FullscreenBandBelowTheShortBarShowsTheHostScreen) {
  host->view()->setBackgroundColor(Color::rgb(200, 30, 30));
  auto c = show("tavro://webview?url=https://ads.example/&page_fullscreen=1");
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->view()->backgroundColor());  // no colour of its own
  auto img = renderView(*window, 1);
  ASSERT_TRUE(img);
  // Between the 44-point bar and the page, which starts below the full-height bar.
  const Color band = img->pixel(static_cast<int>(kScreenWidth() / 2), static_cast<int>(44 + kStatusBarHeight() / 2));
  EXPECT_NEAR(band.red, 200 / 255.0, 0.02);
  EXPECT_NEAR(band.green, 30 / 255.0, 0.02);
  const Color bar = img->pixel(static_cast<int>(kScreenWidth() / 2), 10);
  EXPECT_NEAR(bar.green, 1, 0.02);  // the bar itself stays white
}

TEST_F(WebContainerTest, LoadsStampTimesAndTheCloseButtonFollowsHistory) {
  FixedServices fixed(1700000000.5, 7);
  auto c = show("https://ads.example/first");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->loadViewBeignTime, 1700000000500.0);
  EXPECT_EQ(c->loadPageBeginTime, 1700000000500.0);
  EXPECT_EQ(c->impBeginTime, 1700000000500.0);
  auto& p = page(*c);
  p.deliverLoad(p.loadCalls()[0].navigation, "https://ads.example/first");
  EXPECT_TRUE(c->isSuccess);
  EXPECT_EQ(c->currentUrl, "https://ads.example/first");
  EXPECT_TRUE(c->closeBtn->isHidden());
  p.deliverLoad(p.nextNavigationId(), "https://ads.example/second");
  EXPECT_FALSE(c->closeBtn->isHidden());
  EXPECT_TRUE(events->empty());

  // Back on the second page goes back in the page; no event.
  c->backBtn->sendActions(ControlEvent::touchUpInside);
  EXPECT_EQ(p.loadCalls().back().kind, ScriptedWebView::LoadCall::Kind::goBack);
  EXPECT_TRUE(events->empty());
  // Close leaves whatever the history.
  LogCapture log;
  c->closeBtn->sendActions(ControlEvent::touchUpInside);
  EXPECT_EQ(*events, Strings{"adWillClose"});
  std::weak_ptr<BaseWKWebViewController> weak = c;
  c.reset();
  runFor(1);
  EXPECT_EQ(*events, (Strings{"adWillClose", "adDidClose"}));
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(log.count("\n\n---------deinit:qvad.BaseWKWebViewController---------\n\n"), 1);
}

TEST_F(WebContainerTest, ClosingByAPopEmitsNoDidClose) {
  auto nav = NavigationController::make(std::make_shared<ViewController>());
  window->setRootViewController(nav);
  auto c = std::make_shared<BaseWKWebViewController>();
  c->adCallBackAction = recorder();
  nav->pushViewController(c, false);
  runFor(1);
  c->tapColseBtn();
  runFor(1);
  EXPECT_EQ(*events, Strings{"adWillClose"});
  EXPECT_EQ(nav->viewControllers().size(), 1u);
}

TEST_F(WebContainerTest, FailureCodesAndTheirReactions) {
  struct Row {
    long code;
    bool recorded;
    bool errorView;
  };
  for (Row row : {Row{-999, false, false}, Row{101, false, false}, Row{-1009, true, true}, Row{-1001, true, true},
                  Row{-1003, true, false}, Row{500, true, false}}) {
    auto c = show("https://ads.example/");
    ASSERT_TRUE(c) << row.code;
    c->isSuccess = true;
    c->msg = "before";
    c->progressView->setProgress(0.4);
    auto& p = page(*c);
    p.deliverDidStartProvisional(p.loadCalls()[0].navigation);
    p.deliverDidFailProvisional(p.loadCalls()[0].navigation, error(row.code, "text " + std::to_string(row.code)));
    EXPECT_EQ(c->progressView->progress(), 0) << row.code;
    EXPECT_EQ(c->isSuccess, !row.recorded) << row.code;
    EXPECT_EQ(c->msg, row.recorded ? "text " + std::to_string(row.code) : "before") << row.code;
    EXPECT_EQ(errorView(*c) != nullptr, row.errorView) << row.code;
    EXPECT_TRUE(events->empty()) << row.code;
    c->dismiss(false);
    runFor(1);
  }
}

TEST_F(WebContainerTest, ShowFailedOnlyAfterACommittedLoadWithoutURL) {
  auto c = show("https://ads.example/");
  auto& p = page(*c);
  const auto nav = p.loadCalls()[0].navigation;
  // Offline before commit: the error view with its back button, no event.
  p.deliverDidFailProvisional(nav, error(-1009));
  ASSERT_TRUE(errorView(*c));
  EXPECT_FALSE(errorView(*c)->backBtn->isHidden());
  EXPECT_TRUE(events->empty());
  // A committed load failing while the web view has no URL: once per failure.
  p.deliverDidFail(nav, error(-1001));
  p.deliverDidFail(nav, error(-1001));
  EXPECT_EQ(*events, (Strings{"adDidShowFailed", "adDidShowFailed"}));
  // Exactly one error view however many failures.
  int views = 0;
  for (const auto& v : c->view()->subviews()) views += v->tag() == kNetSettingViewTag;
  EXPECT_EQ(views, 1);
  // Other codes, or a page with a URL, emit nothing.
  events->clear();
  p.deliverDidFail(nav, error(-1003));
  p.deliverDidCommit(nav, "https://ads.example/");
  p.deliverDidFail(nav, error(-1009));
  EXPECT_TRUE(events->empty());
  // A new navigation takes the error view away.
  p.deliverDidStartProvisional(p.nextNavigationId());
  EXPECT_FALSE(errorView(*c));
}

TEST_F(WebContainerTest, RetryReloadsTheFirstRequestOrThePage) {
  FixedServices early(1000, 1);
  auto c = show("https://ads.example/");
  auto& p = page(*c);
  p.deliverDidFailProvisional(p.loadCalls()[0].navigation, error(-1009));
  FixedServices later(2000, 1);
  errorView(*c)->onClickBgView();
  ASSERT_EQ(p.loadCalls().size(), 2u);
  EXPECT_EQ(p.loadCalls()[1].request, *c->firstRequest);
  EXPECT_EQ(c->loadPageBeginTime, 2000000.0);
  EXPECT_EQ(c->impBeginTime, 2000000.0);
  EXPECT_TRUE(errorView(*c));  // stays until a navigation starts or a load finishes

  p.deliverDidCommit(p.loadCalls()[1].navigation, "https://ads.example/");
  p.deliverDidFail(p.loadCalls()[1].navigation, error(-1001));
  errorView(*c)->onClickBgView();
  EXPECT_EQ(p.loadCalls().back().kind, ScriptedWebView::LoadCall::Kind::reload);

  errorView(*c)->onClickBackBtn();
  runFor(1);
  EXPECT_EQ(*events, (Strings{"adWillClose", "adDidClose"}));
}

TEST_F(WebContainerTest, ProgressBarEmptiesWhenTheLoadCompletes) {
  auto c = show("https://ads.example/");
  page(*c).setEstimatedProgress(0.5);
  EXPECT_DOUBLE_EQ(c->progressView->progress(), 0.5);
  page(*c).setEstimatedProgress(1.0);
  EXPECT_EQ(c->progressView->progress(), 0);
}

TEST_F(WebContainerTest, ApplicationNoticesReachThePage) {
  auto c = show("https://ads.example/");
  auto& p = page(*c);
  p.clearRecords();
  auto& app = Application::shared();
  app.setApplicationState(ApplicationState::background);
  app.setApplicationState(ApplicationState::active);
  app.setApplicationState(ApplicationState::inactive);
  app.setApplicationState(ApplicationState::active);
  EXPECT_EQ(p.evaluatedScriptTexts(), (Strings{"native.onbackground()", "native.onforeground()",
                                               "native.onbackground()", "native.onforeground()"}));
  EXPECT_EQ(c->impTimes, 2);
}

TEST_F(WebContainerTest, TeardownRunsOnceAndLeavesTheCacheSettings) {
  LogCapture log;
  {
    auto c = show("tavro://webview?page_titlebar=0");  // no page: nothing loads, no failure comes
    ASSERT_TRUE(c);
    EXPECT_TRUE(page(*c).loadCalls().empty());
    EXPECT_EQ(URLCache::shared().diskCapacity(), 0u);
    c->tapColseBtn();
  }
  runFor(1);
  EXPECT_EQ(*events, (Strings{"adWillClose", "adDidClose"}));
  EXPECT_EQ(log.count("---------deinit:"), 1);
  EXPECT_EQ(URLCache::shared().diskCapacity(), kURLCacheCapacityAfterContainer);
  EXPECT_EQ(URLCache::shared().memoryCapacity(), kURLCacheCapacityAfterContainer);
  // Notifications after teardown reach nobody.
  Application::shared().setApplicationState(ApplicationState::background);
  // The engine setting is written off the main thread.
  EXPECT_TRUE(queue().runUntil(
      [] {
        auto v = Defaults::standard()->object(kWebKitCacheModelPreferenceKey);
        return v && *v == 0;
      },
      10));
}

}  // namespace
}  // namespace qvad::testing
