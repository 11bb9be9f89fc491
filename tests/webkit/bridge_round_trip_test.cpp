// Times the page-to-native-to-page round trip through the engine and the bridge, and checks
// that neither keeps the web view alive. What each action answers, and the escaping of
// message replies, are checked in the container (ad_container_engine_test.cpp).
#include <chrono>
#include <cstdio>

#include "bridged_view.h"

namespace qvad::test {
namespace {

// The page sends toast requests one after another, each as soon as the previous reply
// arrived, and posts a summary with the last reply to "probe".
const char* kBridgePage = R"html(<!doctype html><html><head><title>bridge</title><script>
function utf8FromBase64(b64) {
  const bytes = Uint8Array.from(atob(b64), c => c.charCodeAt(0));
  return new TextDecoder().decode(bytes);
}
window.qv = {
  pending: null, replies: [],
  onToast(text) { const envelope = JSON.parse(text);
    this.replies.push({ret: envelope.ret, msg: envelope.msg, params: JSON.parse(utf8FromBase64(envelope.params))});
    const next = this.pending; this.pending = null; next(); },
  send(method) {
    return new Promise(resolve => { this.pending = resolve;
      window.webkit.messageHandlers.tavro.postMessage({handle: "tavro", action: "jsbridge",
        method: {method: method, params: {text: "it's \"quoted\""}, callback: "window.qv.onToast"}}); });
  },
  async run(count) {
    const start = performance.now();
    for (let i = 0; i < count; i++) await this.send("toast");
    const elapsed = performance.now() - start;
    const reply = this.replies[this.replies.length - 1];
    window.webkit.messageHandlers.probe.postMessage({count: count, elapsedMs: elapsed, reply: reply});
  }
};
</script></head><body>bridge page</body></html>)html";

TEST_F(EngineTest, PageMessagesReachTheBridgeAndRepliesComeBackIntact) {
  BridgedView page([&](WebViewConfiguration c) { return makeView(std::move(c)); });
  auto& [feeder, probe, view, bridge] = page;

  auto loading = std::make_shared<RecordingDelegate>();
  view->setNavigationDelegate(loading);  // the bridge's own forwarding is tested headless
  view->loadHTMLString(kBridgePage, "http://127.0.0.1/bridge");
  ASSERT_TRUE(runUntil([&] { return loading->has("finish 1"); }));

  constexpr int kRoundTrips = 200;
  view->evaluateJavaScript("window.qv.run(" + std::to_string(kRoundTrips) + ")");
  auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(runUntil([&] { return !probe->bodies.empty(); }, 60));
  double nativeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();

  const nlohmann::json& summary = probe->bodies.back();
  EXPECT_EQ(summary["count"], kRoundTrips);
  EXPECT_EQ(feeder->received, kRoundTrips);
  EXPECT_EQ(summary["reply"], (nlohmann::json{{"ret", 0}, {"msg", ""}, {"params", {{"result", "1"}}}}));

  double perTripMs = summary["elapsedMs"].get<double>() / kRoundTrips;
  std::printf("page-to-native-to-page round trip: %.3f ms (page clock, mean of %d); %.1f ms in all (native clock)\n",
              perTripMs, kRoundTrips, nativeMs);
  RecordProperty("round_trip_us", std::to_string(static_cast<int>(perTripMs * 1000)));

  // Nothing the page or the bridge did keeps the web view alive, nor the engine's view
  // once the script calls still running have come back.
  std::weak_ptr<WebView> weakView = view;
  gpointer engineView = view->widget();
  g_object_add_weak_pointer(G_OBJECT(engineView), &engineView);
  view.reset();
  EXPECT_TRUE(weakView.expired());
  EXPECT_TRUE(runUntil([&] { return engineView == nullptr; }));
  if (engineView) g_object_remove_weak_pointer(G_OBJECT(engineView), &engineView);
}

}  // namespace
}  // namespace qvad::test
