#include "qvad/qv_reward_video_ad.h"

#include <gtest/gtest.h>

#include <thread>

#include "net/text_utils.h"
#include "support/fake_http_session.h"
#include "support/recording_ad_delegates.h"
#include "support/web_container_fixture.h"

namespace qvad::testing {
namespace {

using Strings = std::vector<std::string>;

class RewardVideoAdTest : public WebContainerTest {
 protected:
  void SetUp() override {
    WebContainerTest::SetUp();
    ad = QvRewardVideoAd::create("reward-1");
    ad->setDelegate(delegate);
  }
  void load(const std::string& body) {
    ad->loadAD();
    session->replyBody(body);
    runUntilIdle();
  }
  std::shared_ptr<BaseWKWebViewController> showAndWait() {
    ad->showAd(host, false);
    runFor(1);
    return std::dynamic_pointer_cast<BaseWKWebViewController>(host->presentedViewController());
  }
  void pageEvent(BaseWKWebViewController& c, const std::string& action) {
    page(c).postMessage("tavro", bridgeMessage("adCallBack", {{"action", action}}));
    runUntilIdle();
  }

  ScopedFakeSession session;
  std::shared_ptr<Strings> calls = std::make_shared<Strings>();
  std::shared_ptr<QvRewardVideoAdDelegate> delegate = recordingRewardDelegate(calls);
  std::shared_ptr<QvRewardVideoAd> ad;
};

TEST_F(RewardVideoAdTest, LoadQueriesThePlacementAndShowReportsEveryEventInOrder) {
  LogCapture log;
  load(R"({"code":0,"landing":"https://ads.example/reward.html"})");
  ASSERT_EQ(session->requests().size(), 1u);
  auto params = parseParams(session->requests()[0].url);
  ASSERT_TRUE(params);
  EXPECT_EQ((*params)["type"], "rewardVideo");
  EXPECT_EQ((*params)["placementId"], "reward-1");
  EXPECT_TRUE(params->count("deviceId") && params->count("network") && params->count("signature"));
  EXPECT_EQ(*calls, Strings{"didLoad"});

  auto c = showAndWait();
  ASSERT_TRUE(c);
  EXPECT_EQ(lastLoadedURL(*c), "https://ads.example/reward.html");
  for (const char* e :
       {"adDidShow", "adDidClick", "rewardedVideoAdComplete", "rewardedVideoAdComplete", "adBeginShow", ""})
    pageEvent(*c, e);
  page(*c).postMessage("tavro", bridgeMessage("pageClose"));
  runUntilIdle();
  runFor(1);
  EXPECT_EQ(*calls, (Strings{"didLoad", "deginShow", "didShow", "didClick", "complete", "complete", "willClose",
                             "didClose"}));
  EXPECT_TRUE(log.contains("adBeginShow"));  // unknown to this format: printed only
}

TEST_F(RewardVideoAdTest, PageThatFailsToShowReportsTheContainersError) {
  load(R"({"code":0,"landing":"https://ads.example/reward.html"})");
  auto c = showAndWait();
  auto& p = page(*c);
  p.deliverDidFail(p.loadCalls()[0].navigation, error(-1009));
  EXPECT_EQ(calls->back(), "didShow -997 webview load error");
}

TEST_F(RewardVideoAdTest, FailedLoadsKeepTheLastPage) {
  load(R"({"code":0,"landing":"https://ads.example/first.html"})");
  load(R"({"code":4040,"msg":"no ad for this placement"})");
  ad->loadAD();
  session->replyError(-1001, "The request timed out.");
  runUntilIdle();
  ad->loadAD();
  session->replyBody("<html>");  // not an envelope: no callback at all
  runUntilIdle();
  EXPECT_EQ(*calls, (Strings{"didLoad", "didFail 4040 no ad for this placement",
                             "didFail -1001 Optional(The request timed out.)"}));
  auto c = showAndWait();
  ASSERT_TRUE(c);
  EXPECT_EQ(lastLoadedURL(*c), "https://ads.example/first.html");
}

TEST_F(RewardVideoAdTest, NothingToShowWithoutAPageAddress) {
  ad->showAd(host, false);  // before any load
  load(R"({"code":0})");    // a load without "landing"
  ad->showAd(host, false);
  load(R"({"code":0,"landing":"not a url"})");
  ad->showAd(host, false);
  runFor(1);
  EXPECT_EQ(*calls, (Strings{"didLoad", "didLoad"}));
  EXPECT_FALSE(host->presentedViewController());
}

TEST_F(RewardVideoAdTest, EachShowOpensThePageAgain) {
  load(R"({"code":0,"landing":"https://ads.example/reward.html"})");
  ad->showAd(host, false);
  ad->showAd(host, false);
  EXPECT_EQ(*calls, (Strings{"didLoad", "deginShow", "deginShow"}));
}

TEST_F(RewardVideoAdTest, ADelegateAnswersOnlyWhatItImplements) {
  auto only = std::make_shared<QvRewardVideoAdDelegate>();
  only->rewardedVideoAdDidClose = [calls = calls](QvRewardVideoAd&) { calls->push_back("didClose"); };
  ad->setDelegate(only);
  load(R"({"code":0,"landing":"https://ads.example/reward.html"})");
  auto c = showAndWait();
  pageEvent(*c, "adDidShow");
  c->tapColseBtn();
  runFor(1);
  EXPECT_EQ(*calls, Strings{"didClose"});
}

TEST_F(RewardVideoAdTest, ReleasedDelegateOrAdHearsNothingMore) {
  load(R"({"code":0,"landing":"https://ads.example/reward.html"})");
  auto c = showAndWait();
  delegate.reset();  // the ad held it weakly
  pageEvent(*c, "adDidClick");
  EXPECT_EQ(*calls, (Strings{"didLoad", "deginShow"}));

  ad->setDelegate(delegate = recordingRewardDelegate(calls));
  std::weak_ptr<QvRewardVideoAd> weakAd = ad;
  ad.reset();
  EXPECT_TRUE(weakAd.expired());  // the container does not keep the ad
  pageEvent(*c, "rewardedVideoAdComplete");
  c->tapColseBtn();
  runFor(1);
  EXPECT_EQ(*calls, (Strings{"didLoad", "deginShow"}));
}

TEST_F(RewardVideoAdTest, LoadFromAnotherThreadAnswersOnTheMainThread) {
  std::thread worker([ad = ad] { ad->loadAD(); });
  ad->setPlacementId("reward-2");  // may race with the worker's read: guarded
  worker.join();
  session->replyBody(R"({"code":0,"landing":"https://ads.example/reward.html"})");
  EXPECT_TRUE(calls->empty());  // not on the session's thread
  runUntilIdle();
  EXPECT_EQ(*calls, Strings{"didLoad"});
}

TEST_F(RewardVideoAdTest, AdReleasedBeforeTheReplyHearsNothing) {
  ad->loadAD();
  ad.reset();
  session->replyBody(R"({"code":0,"landing":"https://ads.example/reward.html"})");
  runUntilIdle();
  EXPECT_TRUE(calls->empty());
}

}  // namespace
}  // namespace qvad::testing
