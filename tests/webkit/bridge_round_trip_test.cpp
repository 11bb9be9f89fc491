// A real page talks to the bridge through the engine: it posts to the "tavro" channel,
// the bridge runs the action on the main queue and answers with a reply script, and the
// page's callback decodes the reply. Also times the page-to-native-to-page round trip.
#include <chrono>
#include <cstdio>

#include "bridged_view.h"

namespace qvad::test {
namespace {

// The page: sends toast requests one after another, each as soon as the previous reply
// arrived, checks every reply, and posts a summary to "probe". It also echoes what a
// message reply brings back, to check escaping both ways.
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
  onMessage(text) { window.webkit.messageHandlers.probe.postMessage({echo: JSON.parse(text)}); },
  send(method) {
    return new Promise(resolve => { this.pending = resolve;
      window.webkit.messageHandlers.tavro.postMessage({handle: "tavro", action: "jsbridge",
        method: {method: method, params: {text: "it's \"quoted\""}, callback: "window.qv.onToast"}}); });
  },
  async run(count) {
    const start = performance.now();
    for (let i = 0; i < count; i++) await this.send("toast");
    const elapsed = performance.now() - start;
    await this.send("Toast");  // wrong case: unknown action
    window.webkit.messageHandlers.probe.postMessage({count: count, elapsedMs: elapsed, replies: this.replies.slice(-2)});
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
  EXPECT_EQ(feeder->received, kRoundTrips + 1);
  // The last toast and the unknown action, each decoded from its envelope by the page.
  EXPECT_EQ(summary["replies"][0], (nlohmann::json{{"ret", 0}, {"msg", ""}, {"params", {{"result", "1"}}}}));
  EXPECT_EQ(summary["replies"][1], (nlohmann::json{{"ret", 10}, {"msg", ""}, {"params", nlohmann::json::object()}}));

  double perTripMs = summary["elapsedMs"].get<double>() / kRoundTrips;
  std::printf("page-to-native-to-page round trip: %.3f ms (page clock, mean of %d); %.1f ms in all (native clock)\n",
              perTripMs, kRoundTrips, nativeMs);
  RecordProperty("round_trip_us", std::to_string(static_cast<int>(perTripMs * 1000)));

  // A message reply carries JSON text inside a single-quoted script string: quotes,
  // backslashes, line breaks and the two JavaScript line separators survive the trip.
  nlohmann::json params = {{"text", "it's \"quoted\" \\ back\nslash\r\f \u2028\u2029 \u00fcn\u00efcode"},
                           {"n", 1.5},
                           {"list", {true, nullptr}}};
  bridge->injectMessageFunction(std::nullopt, "window.qv.onMessage", params);
  ASSERT_TRUE(runUntil([&] { return probe->bodies.size() == 2; }));
  EXPECT_EQ(probe->bodies.back()["echo"], params);

  // Nothing the page or the bridge did keeps the web view alive, nor the engine's view
  // once the script calls it still ran have come back.
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
