#include "qvad/qv_interstitial_ad.h"

#include <gtest/gtest.h>

#include "net/text_utils.h"
#include "support/fake_http_session.h"
#include "support/recording_ad_delegates.h"
#include "support/web_container_fixture.h"

namespace qvad::testing {
namespace {

using Strings = std::vector<std::string>;

class InterstitialAdTest : public WebContainerTest {
 protected:
  void SetUp() override {
    WebContainerTest::SetUp();
    ad->setDelegate(delegate);
  }

  ScopedFakeSession session;
  std::shared_ptr<Strings> calls = std::make_shared<Strings>();
  std::shared_ptr<QvInterstitialAdDelegate> delegate = recordingInterstitialDelegate(calls);
  std::shared_ptr<QvInterstitialAd> ad = QvInterstitialAd::create();
};

TEST_F(InterstitialAdTest, LoadsWithAnEmptyPlacementAndMapsItsOwnEvents) {
  LogCapture log;
  ad->loadAD();
  auto params = parseParams(session->requests().at(0).url);
  EXPECT_EQ((*params)["type"], "interstitial");
  EXPECT_EQ((*params)["placementId"], "");
  session->replyBody(R"({"code":0,"landing":"https://ads.example/interstitial.html"})");
  runUntilIdle();

  ad->showAd(host, false);
  runFor(1);
  auto c = std::dynamic_pointer_cast<BaseWKWebViewController>(host->presentedViewController());
  ASSERT_TRUE(c);
  for (const char* e : {"adBeginShow", "adDidShow", "rewardedVideoAdComplete", "adDidClick"}) {
    page(*c).postMessage("tavro", bridgeMessage("adCallBack", {{"action", e}}));
    runUntilIdle();
  }
  page(*c).deliverDidFail(page(*c).loadCalls()[0].navigation, error(-1001));
  c->onBackClicked();
  runFor(1);
  EXPECT_EQ(*calls, (Strings{"didLoad", "beginShow", "beginShow", "didShow", "didClick",
                             "didShow -997 webview load error", "willClose", "didClose"}));
  EXPECT_TRUE(log.contains("rewardedVideoAdComplete"));  // printed, not delivered
}

TEST_F(InterstitialAdTest, PlacementAndFailures) {
  ad->setPlacementId("interstitial-1");
  ad->loadAD();
  EXPECT_EQ((*parseParams(session->requests().at(0).url))["placementId"], "interstitial-1");
  session->replyBody(R"({"code":4003,"msg":"bad signature"})");
  runUntilIdle();
  ad->showAd(host, false);
  EXPECT_EQ(*calls, Strings{"didFail 4003 bad signature"});
  EXPECT_FALSE(host->presentedViewController());
}

}  // namespace
}  // namespace qvad::testing
