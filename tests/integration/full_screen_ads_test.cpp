// Reward video and interstitial ads against qvad-sandbox over HTTPS on loopback: load,
// show on the headless backend, the page's events in the order its script sends them,
// close, and every delegate call in order.
#include <gtest/gtest.h>

#include "platform/http_session.h"
#include "qvad/configuration.h"
#include "qvad/qv_interstitial_ad.h"
#include "qvad/qv_reward_video_ad.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "support/recording_ad_delegates.h"
#include "support/sandbox_suite.h"
#include "support/web_container_fixture.h"

// The toast the reward page asks for measures text with Pango, whose font
// configuration keeps process-long caches that the leak checker would report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace qvad::testing {
namespace {

using Strings = std::vector<std::string>;
constexpr double kWait = 20;  // seconds of real time; a loaded CI machine is slow

class FullScreenAdsTest : public SandboxSuite<FullScreenAdsTest, WebContainerTest> {
 protected:
  void SetUp() override {
    WebContainerTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(useSandbox());
    managerInternal::setCredentials("demo-app", "demo-secret");
  }
  void TearDown() override {
    managerInternal::setCredentials(std::nullopt, std::nullopt);
    leaveSandbox();
    WebContainerTest::TearDown();
  }

  /// The page as the sandbox serves it, fetched with the library's own session.
  static std::string fetch(const std::string& path) {
    HttpRequest req;
    req.url = sandbox_->baseURL() + path;
    HttpResponse r = fetchAndWait(req, kWait);
    return r.statusCode == 200 ? r.body.value_or("") : "";
  }
  void pagePosts(BaseWKWebViewController& c, const std::string& method, nlohmann::json params) {
    ASSERT_TRUE(page(c).postMessage("tavro", bridgeMessage(method, std::move(params))));
    runUntilIdle();
  }
  std::shared_ptr<BaseWKWebViewController> shown() {
    runFor(1);
    return std::dynamic_pointer_cast<BaseWKWebViewController>(host->presentedViewController());
  }

  // Loads `ad` from the sandbox, shows it over the host and checks that the container
  // asked for the page at `pagePath`; the container, or nullptr after a failure.
  template <class Ad>
  std::shared_ptr<BaseWKWebViewController> loadAndShow(Ad& ad, const std::string& pagePath) {
    ad.loadAD();
    if (!queue().runUntil([&] { return !calls->empty(); }, kWait) || *calls != Strings{"didLoad"}) {
      ADD_FAILURE() << "the ad did not load";
      return nullptr;
    }
    ad.showAd(host, true);
    auto c = shown();
    if (c) {
      EXPECT_EQ(lastLoadedURL(*c), sandbox_->baseURL() + pagePath);
    }
    return c;
  }
  std::shared_ptr<Strings> calls = std::make_shared<Strings>();
};

TEST_F(FullScreenAdsTest, RewardVideoFromLoadToClose) {
  auto delegate = recordingRewardDelegate(calls);
  auto ad = QvRewardVideoAd::create("reward-1");
  ad->setDelegate(delegate);
  auto c = loadAndShow(*ad, "/pages/reward.html");
  ASSERT_TRUE(c);
  const std::string pageURL = sandbox_->baseURL() + "/pages/reward.html";
  page(*c).deliverLoad(page(*c).loadCalls()[0].navigation, pageURL, "Reward video");

  // What the page's script sends, in its order: shown, the reward with a toast, the
  // install button (a click, then a store link), and its close button.
  const std::string html = fetch("/pages/reward.html");
  for (const char* word : {"adDidShow", "rewardedVideoAdComplete", "Reward earned", "adDidClick", "itms-apps://",
                           "qvadBridge.close()"})
    EXPECT_NE(html.find(word), std::string::npos) << word;
  EXPECT_NE(fetch("/pages/ad_bridge.js").find("window.webkit"), std::string::npos);
  pagePosts(*c, "adCallBack", {{"action", "adDidShow"}});
  pagePosts(*c, "adCallBack", {{"action", "rewardedVideoAdComplete"}});
  pagePosts(*c, "toast", {{"text", "Reward earned"}});
  pagePosts(*c, "adCallBack", {{"action", "adDidClick"}});
  auto store = page(*c).decidePolicy(ScriptedWebView::linkAction("itms-apps://apps.apple.com/app/id1234567890"));
  EXPECT_EQ(store->value(), NavigationActionPolicy::cancel);
  runFor(1);
  ASSERT_TRUE(c->appStoreVC);
  c->appStoreVC->doneButton()->sendActions(ControlEvent::touchUpInside);
  runFor(1);
  pagePosts(*c, "pageClose", nlohmann::json::object());
  runFor(1);
  EXPECT_EQ(*calls, (Strings{"didLoad", "deginShow", "didShow", "complete", "didClick", "willClose", "didClose"}));
  EXPECT_FALSE(host->presentedViewController());
}

TEST_F(FullScreenAdsTest, InterstitialFromLoadToClose) {
  auto delegate = recordingInterstitialDelegate(calls);
  auto ad = QvInterstitialAd::create();
  ad->setPlacementId("interstitial-1");
  ad->setDelegate(delegate);
  auto c = loadAndShow(*ad, "/pages/interstitial.html");
  ASSERT_TRUE(c);
  const std::string pageURL = sandbox_->baseURL() + "/pages/interstitial.html";

  const std::string html = fetch("/pages/interstitial.html");
  for (const char* word : {"linksInNewWindow(true)", "adBeginShow", "adDidShow", "adDidClick", "landing.html"})
    EXPECT_NE(html.find(word), std::string::npos) << word;
  // The script's order: page configuration and "adBeginShow" at once, "adDidShow" on load.
  pagePosts(*c, "pageConfig", {{"link_new_window", true}});
  pagePosts(*c, "adCallBack", {{"action", "adBeginShow"}});
  page(*c).deliverLoad(page(*c).loadCalls()[0].navigation, pageURL, "Interstitial");
  pagePosts(*c, "adCallBack", {{"action", "adDidShow"}});
  // The call to action: a click, then its link opens in the in-app browser.
  pagePosts(*c, "adCallBack", {{"action", "adDidClick"}});
  auto link = page(*c).decidePolicy(ScriptedWebView::linkAction(sandbox_->baseURL() + "/pages/landing.html"));
  EXPECT_EQ(link->value(), NavigationActionPolicy::cancel);
  runFor(1);
  EXPECT_NE(c->presentedViewController(), nullptr);  // the browser over the ad
  c->dismiss(false);  // the user closes the browser
  runFor(1);
  c->tapColseBtn();
  runFor(1);
  EXPECT_EQ(*calls, (Strings{"didLoad", "beginShow", "beginShow", "didShow", "didClick", "willClose", "didClose"}));
}

TEST_F(FullScreenAdsTest, UnknownPlacementFailsWithTheServersCode) {
  auto failed = std::make_shared<std::optional<QvError>>();
  auto delegate = std::make_shared<QvInterstitialAdDelegate>();
  delegate->interstitialAdDidFailWithError = [failed](QvInterstitialAd&, const QvError& e) { *failed = e; };
  auto ad = QvInterstitialAd::create();
  ad->setPlacementId("no-such-placement");
  ad->setDelegate(delegate);
  ad->loadAD();
  ASSERT_TRUE(queue().runUntil([&] { return failed->has_value(); }, kWait));
  EXPECT_EQ((*failed)->errorCode, 4040);
  EXPECT_EQ((*failed)->errorDescription, "no ad for this placement");
}

}  // namespace
}  // namespace qvad::testing
