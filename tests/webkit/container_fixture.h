// The ad container on the real engine, shown in a desktop window: the fixture of the
// engine tests that present containers, with the sandbox or pages of their own.
#pragma once

#include <gtk/gtk.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "platform/gtk/web_view_webkit.h"
#include "platform/gtk/window_gtk.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/view_controller.h"
#include "platform/toolkit/window.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "support/sandbox_process.h"

namespace qvad::test {

// The first web view in a view tree, front-most first.
inline std::shared_ptr<WebView> findWebView(const std::shared_ptr<View>& root) {
  if (!root) return nullptr;
  const auto& subs = root->subviews();
  for (auto it = subs.rbegin(); it != subs.rend(); ++it)
    if (auto found = findWebView(*it)) return found;
  return std::dynamic_pointer_cast<WebView>(root);
}

inline std::string percentEncoded(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

class AdContainerEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The container makes its web view through makeWebView: here, the engine's.
    setWebViewMaker([](Rect frame, WebViewConfiguration c) { return makeGtkWebView(frame, std::move(c)); });
    savedBaseURL_ = QvConfiguration::apiBaseURL();
    root = std::make_shared<ViewController>();
    window = std::make_shared<Window>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    desktop = std::make_unique<DesktopWindow>(window);
  }
  void TearDown() override {
    desktop.reset();
    Application::shared().setKeyWindow(nullptr);
    window.reset();
    root.reset();
    MainQueue::main().runUntilIdle();
    setWebViewMaker({});
    QvConfiguration::setCAFile("");
    QvConfiguration::setApiBaseURL(savedBaseURL_);
  }

  // Points the library at the sandbox and starts it with the sandbox's demo application.
  void useSandbox(const qvad::testing::SandboxProcess& sandbox) {
    QvConfiguration::setApiBaseURL(sandbox.baseURL());
    QvConfiguration::setCAFile(sandbox.caFile());
    std::optional<std::optional<QvError>> started;
    QvInterActiveAdManager::shared().start("demo-app", "demo-secret",
                                          [&](std::optional<QvError> e) { started = std::move(e); });
    ASSERT_TRUE(runUntil([&] { return started.has_value(); }));
    ASSERT_FALSE(started->has_value()) << started->value().errorDescription.value_or("");
  }

  static bool runUntil(const std::function<bool()>& done, double seconds = 40) {
    return MainQueue::main().runUntil(done, seconds);
  }
  static bool has(const std::vector<std::string>& events, const std::string& e) {
    return std::find(events.begin(), events.end(), e) != events.end();
  }

  std::shared_ptr<WebView> page() const { return findWebView(window); }
  // A person clicks the middle of the page's element `id`, once the container is fully on
  // screen: a page's close during the opening transition is not taken.
  void clickInPage(const std::string& id) {
    ASSERT_TRUE(runUntil([&] { return !root->transitionInProgress(); }));
    auto view = page();
    ASSERT_NE(view, nullptr);
    std::optional<nlohmann::json> middle;
    bool done = false;
    view->evaluateJavaScript("(() => { const r = document.getElementById('" + id +
                                 "').getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()",
                             [&](std::optional<nlohmann::json> r, std::optional<PlatformError>) {
                               middle = std::move(r);
                               done = true;
                             });
    ASSERT_TRUE(runUntil([&] { return done; }));
    ASSERT_TRUE(middle && middle->is_array() && middle->size() == 2) << (middle ? middle->dump() : "no value");
    const Point origin = view->convertToWindow(Point{0, 0});
    personClick(*desktop, static_cast<int>(origin.x + (*middle)[0].get<double>()),
                static_cast<int>(origin.y + (*middle)[1].get<double>()));
  }

  std::shared_ptr<ViewController> root;
  std::shared_ptr<Window> window;
  std::unique_ptr<DesktopWindow> desktop;

 private:
  std::string savedBaseURL_;
};

}  // namespace qvad::test
