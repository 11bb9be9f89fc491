// Fixture for tests of the web ad container on the headless backend: a key window
// with a host controller, containers presented over it, their ad events recorded, and
// their scripted web view at hand.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "log_capture.h"
#include "platform/headless/scripted_web_view.h"
#include "platform/http_session.h"
#include "platform/service_slot.h"
#include "platform/toolkit/application.h"
#include "toolkit_fixture.h"
#include "ui/net_setting_view.h"
#include "web/base_wk_web_view_controller.h"

namespace qvad::testing {

class WebContainerTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    host = std::make_shared<TrackedController>();
    window = makeKeyWindow(host);
    setSystemOpensURLs(true);
    Application::shared().clearOpenedURLs();
  }
  void TearDown() override {
    window.reset();
    host.reset();
    ToolkitTest::TearDown();
    opener_.reset();
    Application::shared().setApplicationState(ApplicationState::active);
  }

  /// What the operating system answers when a URL is handed to it.
  void setSystemOpensURLs(bool opens) {
    opener_.reset();
    opener_.emplace(UrlOpener::slot(), std::make_shared<AnsweringUrlOpener>(opens));
  }
  /// Presents a container for `url` over the host (no animation) and waits for it.
  std::shared_ptr<BaseWKWebViewController> show(const std::string& url) {
    BaseWKWebViewController::ShowWebView(url, host, false, recorder());
    runFor(1);
    return std::dynamic_pointer_cast<BaseWKWebViewController>(host->presentedViewController());
  }
  /// An event receiver appending to `events`.
  AdCallBack recorder() {
    auto sink = events;
    return [sink](const std::string& e) { sink->push_back(e); };
  }
  static ScriptedWebView& page(const BaseWKWebViewController& c) { return static_cast<ScriptedWebView&>(*c.webView); }
  /// The last request the page was asked to load, or "".
  static std::string lastLoadedURL(const BaseWKWebViewController& c) {
    for (auto it = page(c).loadCalls().rbegin(); it != page(c).loadCalls().rend(); ++it) {
      if (it->kind == ScriptedWebView::LoadCall::Kind::request) return it->request.url;
    }
    return "";
  }
  /// The network error view over the container's page, or null.
  static std::shared_ptr<NetSettingView> errorView(BaseWKWebViewController& c) {
    for (const auto& v : c.view()->subviews())
      if (v->tag() == kNetSettingViewTag) return std::static_pointer_cast<NetSettingView>(v);
    return nullptr;
  }
  static PlatformError error(long code, std::string text = "failed") {
    PlatformError e;
    e.code = code;
    e.domain = kURLErrorDomain;
    e.localizedDescription = std::move(text);
    return e;
  }
  /// A message the page posts for the bridge's built-in handler.
  static nlohmann::json bridgeMessage(const std::string& method, nlohmann::json params = nlohmann::json::object()) {
    return {{"handle", "tavro"}, {"action", "jsbridge"}, {"method", {{"method", method}, {"params", params}}}};
  }

  std::shared_ptr<TrackedController> host;
  std::shared_ptr<Window> window;
  std::shared_ptr<std::vector<std::string>> events = std::make_shared<std::vector<std::string>>();
 private:
  std::optional<ScopedServiceOverride<UrlOpener>> opener_;
};

}  // namespace qvad::testing
