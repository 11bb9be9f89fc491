// A page that floods the bridge: messages posted in one loop of its script (10,000 here;
// QVAD_FLOOD_MESSAGES=100000 for the full flood, a few minutes under ASan). The bridge
// keeps a bounded number waiting and drops the rest with one console line. The longest
// main-loop gap is measured and printed, not asserted: the engine converts every message
// on the main thread and hands them over in batches of its own (docs/fault-matrix.md).
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bridged_view.h"
#include "support/log_capture.h"

namespace qvad::test {
namespace {

const char* kFloodPage = R"html(<!doctype html><html><head><title>flood</title><script>
window.flood = function(n) {
  const m = {handle: "tavro", action: "jsbridge", method: {method: "adCallBack", params: {action: "e"}}};
  for (let i = 0; i < n; i++) window.webkit.messageHandlers.tavro.postMessage(m);
  window.webkit.messageHandlers.probe.postMessage({posted: n});
};
</script></head><body>flood</body></html>)html";

// The longest the main loop went without running a 2 ms timer: what a frame would wait.
struct TickGaps {
  using Clock = std::chrono::steady_clock;
  Clock::time_point last = Clock::now();
  double longestMs = 0;
  guint source = 0;
  TickGaps() {
    source = g_timeout_add(2, [](gpointer self) -> gboolean {
      auto* t = static_cast<TickGaps*>(self);
      const auto now = Clock::now();
      t->longestMs = std::max(t->longestMs, std::chrono::duration<double, std::milli>(now - t->last).count());
      t->last = now;
      return G_SOURCE_CONTINUE;
    }, this);
  }
  ~TickGaps() { g_source_remove(source); }
};

TEST_F(EngineTest, AFloodOfPageMessagesIsBoundedAndTheMainLoopKeepsTurning) {
  BridgedView page([&](WebViewConfiguration c) { return makeView(std::move(c)); });
  auto& [feeder, probe, view, bridge] = page;
  int events = 0;
  bridge->setAdCallBackAction([&](const std::string&) { ++events; });
  auto loading = std::make_shared<RecordingDelegate>();
  view->setNavigationDelegate(loading);
  view->loadHTMLString(kFloodPage, "http://127.0.0.1/flood");
  ASSERT_TRUE(runUntil([&] { return loading->has("finish 1"); }));

  testing::LogCapture console;
  const int kMessages = std::getenv("QVAD_FLOOD_MESSAGES") ? std::atoi(std::getenv("QVAD_FLOOD_MESSAGES")) : 10000;
  TickGaps gaps;
  view->evaluateJavaScript("window.flood(" + std::to_string(kMessages) + ")");
  const auto start = std::chrono::steady_clock::now();
  const bool all = runUntil([&] { return !probe->bodies.empty() && feeder->received == kMessages; }, 240);
  MainQueue::main().runUntilIdle();
  std::printf("%d page messages: %d received in %.1f s, %d acted on, longest main-loop gap %.1f ms\n", kMessages,
              feeder->received, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              events, gaps.longestMs);
  RecordProperty("longest_gap_ms", std::to_string(static_cast<int>(gaps.longestMs)));
  ASSERT_TRUE(all);

  // Every message was acted on or dropped, and a drop was told once.
  EXPECT_GE(events, static_cast<int>(std::min<std::size_t>(kMaxPendingPageMessages, kMessages)));
  EXPECT_LE(events, kMessages);
  EXPECT_EQ(console.count("later ones are dropped"), events < kMessages ? 1 : 0)
      << "one line for the page, not one per message";
}

}  // namespace
}  // namespace qvad::test
