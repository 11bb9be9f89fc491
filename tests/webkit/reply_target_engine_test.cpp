// Replies stay in the page that asked for them, on the engine: a page names its callback,
// the main frame goes to a page of another origin (another loopback port) that defines a
// function of the same name, and a later reply does not run there. A callback that is
// not a script name is never run as code.
#include <algorithm>

#include "bridged_view.h"

namespace qvad::test {
namespace {

// The container's part: allows every load and notes the finished ones.
class AllowingDelegate : public WKJSBridgeNavigationDelegate {
 public:
  std::vector<NavigationId> finished;
  bool has(NavigationId id) const { return std::find(finished.begin(), finished.end(), id) != finished.end(); }
  void decidePolicyForNavigationAction(WebView&, const NavigationAction&, NavigationActionDecisionHandler h) override {
    h(NavigationActionPolicy::allow);
  }
  void decidePolicyForNavigationResponse(WebView&, const NavigationResponse&,
                                         NavigationResponseDecisionHandler h) override {
    h(NavigationResponsePolicy::allow);
  }
  void didFinishNavigation(WebView&, NavigationId id) override { finished.push_back(id); }
};

// Both pages report every call of window.hit with their own name.
std::string page(const std::string& name) {
  return R"html(<!doctype html><html><head><title>)html" + name + R"html(</title><script>
window.hit = function (text) { window.webkit.messageHandlers.probe.postMessage({ran: ")html" + name + R"html("}); };
window.ask = function (method, callback) {
  window.webkit.messageHandlers.tavro.postMessage({action: "jsbridge",
    method: {method: method, params: {text: "t"}, callback: callback}});
};
</script></head><body>)html" + name + "</body></html>";
}

TEST_F(EngineTest, AReplyTargetDoesNotFollowThePageToAnotherOrigin) {
  LoopbackPages first, second;
  ASSERT_TRUE(first.listening() && second.listening());
  first.add("/a", page("first"));
  second.add("/b", page("second"));

  BridgedView bridged([&](WebViewConfiguration c) { return makeView(std::move(c)); });
  auto& [feeder, probe, view, bridge] = bridged;
  auto loading = std::make_shared<AllowingDelegate>();
  bridge->setNavigationDelegate(loading);  // the bridge stays the engine's delegate

  auto ran = [&](const std::string& name) {
    int n = 0;
    for (const auto& b : probe->bodies) n += b.value("ran", "") == name;
    return n;
  };
  // Every script the bridge sent before this has run once the flush comes back.
  auto flush = [&] {
    const std::size_t before = probe->bodies.size();
    view->evaluateJavaScript("window.webkit.messageHandlers.probe.postMessage({flush: 1})");
    return runUntil([&] { return probe->bodies.size() > before; });
  };

  const NavigationId a = view->load(first.url("/a"));
  ASSERT_TRUE(runUntil([&] { return loading->has(a); }));
  view->evaluateJavaScript(R"(window.ask("toast", "window.hit"))");
  ASSERT_TRUE(runUntil([&] { return ran("first") == 1; }));

  // A callback holding code gets nothing, and the page's function is not reached through it.
  view->evaluateJavaScript(R"(window.ask("toast", "window.hit(),window.hit"))");
  ASSERT_TRUE(flush());
  EXPECT_EQ(ran("first"), 1);

  // The target set by the first page, then the main frame commits the second.
  view->evaluateJavaScript(R"(window.ask("userInfo", "window.hit"))");
  ASSERT_TRUE(flush());
  ASSERT_TRUE(bridge->jsModel()->replyTarget());
  const NavigationId b = view->load(second.url("/b"));
  ASSERT_TRUE(runUntil([&] { return loading->has(b); }));
  bridge->setOpenNotifyCallBackStr("1");
  bridge->tryFinishCallBack();
  bridge->jsCallbackAction(bridge->jsModel()->replyTarget(), 0, "", nlohmann::json::object());
  ASSERT_TRUE(flush());
  EXPECT_EQ(ran("second"), 0);

  // The second page's own messages are answered as usual.
  view->evaluateJavaScript(R"(window.ask("toast", "window.hit"))");
  ASSERT_TRUE(runUntil([&] { return ran("second") == 1; }));
}

}  // namespace
}  // namespace qvad::test
