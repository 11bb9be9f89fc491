// A page that floods the bridge: 100,000 messages posted in one loop of its script. The
// bridge acts on a bounded number at a time and drops the rest with one console line, and the
// main thread keeps turning meanwhile.
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

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
  constexpr int kMessages = 100000;
  TickGaps gaps;
  view->evaluateJavaScript("window.flood(" + std::to_string(kMessages) + ")");
  ASSERT_TRUE(runUntil([&] { return !probe->bodies.empty() && feeder->received == kMessages; }, 120));
  MainQueue::main().runUntilIdle();
  std::printf("100,000 page messages: %d acted on, longest main-loop gap %.1f ms\n", events, gaps.longestMs);
  RecordProperty("longest_gap_ms", std::to_string(static_cast<int>(gaps.longestMs)));

  EXPECT_GE(events, static_cast<int>(kMaxPendingPageMessages));
  EXPECT_LT(events, kMessages) << "the rest were dropped";
  const auto lines = console.lines();
  const auto drops = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("later ones are dropped") != std::string::npos;
  });
  EXPECT_EQ(drops, 1) << "one line for the page, not one per message";
  // Generous: the engine hands messages over in batches of its own; a frame may wait
  // for one batch, never for the whole flood.
  EXPECT_LT(gaps.longestMs, 250.0);
}

}  // namespace
}  // namespace qvad::test
