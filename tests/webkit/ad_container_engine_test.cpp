// The ad container on the real engine, shown in a desktop window: the sandbox's reward
// and interstitial pages run their whole course, and a page of the test's own decodes
// what the bridge sends it.
#include <functional>
#include <string>
#include <vector>

#include "container_fixture.h"
#include "qvad/qv_interstitial_ad.h"
#include "qvad/qv_reward_video_ad.h"
#include "support/recording_ad_delegates.h"
#include "web/base_wk_web_view_controller.h"

namespace qvad::test {
namespace {

TEST_F(AdContainerEngineTest, EachFormatRunsFromLoadToCloseWithEveryDelegateCallInOrder) {
  qvad::testing::SandboxProcess sandbox(QVAD_SANDBOX_BIN);
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  ASSERT_NO_FATAL_FAILURE(useSandbox(sandbox));
  using Strings = std::vector<std::string>;
  auto calls = std::make_shared<Strings>();
  auto& events = *calls;
  // Loads, shows once loaded, waits for `shown` (the reward page counts down first), and
  // has a person click the page's close button.
  auto run = [&](const std::function<void()>& load, const std::function<void()>& show, const std::string& shown) {
    calls->clear();
    load();
    ASSERT_TRUE(runUntil([&] { return !events.empty(); }));
    ASSERT_EQ(events, Strings{"didLoad"});
    show();
    ASSERT_NE(std::dynamic_pointer_cast<GtkWebView>(page()), nullptr);
    ASSERT_TRUE(runUntil([&] { return has(events, shown); }));
    clickInPage("close");
    ASSERT_TRUE(runUntil([&] { return has(events, "didClose"); }));
    runUntil([] { return false; }, 0.5);  // nothing further arrives late
    EXPECT_EQ(root->presentedViewController(), nullptr);
  };

  auto reward = QvRewardVideoAd::create("reward-1");
  auto rewardDelegate = qvad::testing::recordingRewardDelegate(calls);
  reward->setDelegate(rewardDelegate);
  run([&] { reward->loadAD(); }, [&] { reward->showAd(root, true); }, "complete");
  EXPECT_EQ(events, (Strings{"didLoad", "deginShow", "didShow", "complete", "willClose", "didClose"}));

  auto interstitial = QvInterstitialAd::create();
  interstitial->setPlacementId("interstitial-1");
  auto interstitialDelegate = qvad::testing::recordingInterstitialDelegate(calls);
  interstitial->setDelegate(interstitialDelegate);
  run([&] { interstitial->loadAD(); }, [&] { interstitial->showAd(root, true); }, "didShow");
  // The page itself also reports that it begins, after showAd said so.
  EXPECT_EQ(events, (Strings{"didLoad", "beginShow", "beginShow", "didShow", "willClose", "didClose"}));
}

// A page that calls the bridge, decodes its reply as the engine's own script does, and
// reports through adCallBack (the one action whose argument reaches the host as text).
// What each action answers is a headless case (js_bridge_actions_test.cpp).
const char* kActionsPage = R"html(<!doctype html><html><head><meta charset="utf-8"><title>actions</title><script>
function utf8FromBase64(b64) {
  const bytes = Uint8Array.from(atob(b64), c => c.charCodeAt(0));
  return new TextDecoder().decode(bytes);
}
function post(method, params, callback) {
  window.webkit.messageHandlers.tavro.postMessage({handle: "tavro", action: "jsbridge",
    method: {method: method, params: params, callback: callback}});
}
window.qv = {
  report(tag, value) { post("adCallBack", {action: tag + ":" + JSON.stringify(value)}); },
  onReply(text) { const e = JSON.parse(text);
    this.report("reply", {ret: e.ret, msg: e.msg, params: JSON.parse(utf8FromBase64(e.params))}); },
  run() { post("toast", {text: "it's \"saved\""}, "window.qv.onReply"); },
  onMessage(text) { this.report("echo", JSON.parse(text)); }
};
window.native = {
  onforeground() { window.qv.report("state", "foreground"); },
  onbackground() { window.qv.report("state", "background"); }
};
</script></head><body onload="window.qv.run()">actions</body></html>)html";

TEST_F(AdContainerEngineTest, PageDecodesBridgeRepliesAndMessagesIntact) {
  LoopbackPages pages;
  pages.add("/actions", kActionsPage);
  std::vector<std::string> callbacks;
  BaseWKWebViewController::ShowWebView(pages.url("/actions"), root, false,
                                       [&](const std::string& event) { callbacks.push_back(event); });
  auto container = std::dynamic_pointer_cast<BaseWKWebViewController>(root->presentedViewController());
  ASSERT_NE(container, nullptr);
  ASSERT_NE(std::dynamic_pointer_cast<GtkWebView>(container->webView), nullptr);

  auto reported = [&](const std::string& tag) -> std::optional<nlohmann::json> {
    for (const auto& c : callbacks)
      if (c.rfind(tag + ":", 0) == 0) return nlohmann::json::parse(c.substr(tag.size() + 1));
    return std::nullopt;
  };
  ASSERT_TRUE(runUntil([&] { return reported("reply").has_value(); }));
  EXPECT_EQ(*reported("reply"), (nlohmann::json{{"ret", 0}, {"msg", ""}, {"params", {{"result", "1"}}}}));

  // A message reply travels inside a single-quoted script string: quotes, backslashes,
  // line breaks and the two JavaScript line separators survive the trip.
  const nlohmann::json params = {{"text", "it's \"quoted\" \\ back\nslash\r\f \u2028\u2029 gr\u00fc\u00dfe \u65e5\u672c"},
                                 {"list", {true, nullptr, 2.5}}};
  container->jsBridge->injectMessageFunction(std::nullopt, "window.qv.onMessage", params);
  ASSERT_TRUE(runUntil([&] { return reported("echo").has_value(); }));
  EXPECT_EQ(*reported("echo"), params);

  // The application leaving and re-entering the foreground reaches the page.
  auto& app = Application::shared();
  app.setApplicationState(ApplicationState::active);
  callbacks.clear();
  app.setApplicationState(ApplicationState::background);
  ASSERT_TRUE(runUntil([&] { return reported("state").has_value(); }));
  EXPECT_EQ(*reported("state"), "background");
  callbacks.clear();
  app.setApplicationState(ApplicationState::active);
  ASSERT_TRUE(runUntil([&] { return reported("state").has_value(); }));
  EXPECT_EQ(*reported("state"), "foreground");

  // The page closes its container.
  callbacks.clear();
  container->webView->evaluateJavaScript("post('pageClose', {})");
  ASSERT_TRUE(runUntil([&] { return root->presentedViewController() == nullptr; }));
  runUntil([&] { return has(callbacks, "adDidClose"); }, 5);
  EXPECT_EQ(callbacks, (std::vector<std::string>{"adWillClose", "adDidClose"}));
}

}  // namespace
}  // namespace qvad::test
