// An engine web view with the bridge bound to it as the container binds it: what the page
// posts on "tavro" goes to the bridge, what it posts on "probe" to an inbox of the test's.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "engine_fixture.h"
#include "web/wk_js_bridge.h"

namespace qvad::test {

// Stands in for the container: hands what the page posts on "tavro" to the bridge.
class BridgeFeeder : public ScriptMessageHandler {
 public:
  std::weak_ptr<WKJSBridge> bridge;
  int received = 0;
  void didReceiveScriptMessage(UserContentController&, const ScriptMessage& message) override {
    ++received;
    if (auto b = bridge.lock()) b->receivePageMessage(message.body);
  }
};

struct BridgedView {
  std::shared_ptr<BridgeFeeder> feeder = std::make_shared<BridgeFeeder>();
  std::shared_ptr<MessageInbox> probe = std::make_shared<MessageInbox>();
  std::shared_ptr<GtkWebView> view;
  std::shared_ptr<WKJSBridge> bridge;

  /// `make` is the fixture's makeView.
  explicit BridgedView(const std::function<std::shared_ptr<GtkWebView>(WebViewConfiguration)>& make) {
    WebViewConfiguration configuration;
    EXPECT_TRUE(configuration.userContentController->addScriptMessageHandler(feeder, "tavro"));
    EXPECT_TRUE(configuration.userContentController->addScriptMessageHandler(probe, "probe"));
    view = make(std::move(configuration));
    bridge = WKJSBridge::bind(view);
    feeder->bridge = bridge;
    bridge->jsbridge();
  }
};

}  // namespace qvad::test
