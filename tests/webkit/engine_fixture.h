// Shared pieces of the engine tests: pages served over loopback, a window to show web
// views in, the main loop run until something happened, and a delegate that records
// every navigation and UI call and answers them as told, now or on a later turn.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <httplib.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/gtk/web_view_webkit.h"
#include "platform/main_queue.h"
#include "platform/web_view.h"

namespace qvad::test {

/// An HTTP server on 127.0.0.1 with fixed pages. "/stall" holds its answer until the
/// server stops, for loads that must not finish.
class LoopbackPages {
 public:
  LoopbackPages() {
    server_.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
      std::unique_lock lock(mu_);
      cv_.wait(lock, [this] { return stopping_; });
      res.set_content("late", "text/plain");
    });
    server_.Get(R"(/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mu_);
      auto it = pages_.find(req.path);
      if (it == pages_.end()) {
        res.status = 404;
        res.set_content("<title>missing</title>", "text/html");
        return;
      }
      res.set_content(it->second.body, it->second.type);
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    // The socket listens from here on: connections wait in its backlog until the thread
    // accepts them, so nothing needs to wait for the thread to start.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~LoopbackPages() {
    {
      std::lock_guard lock(mu_);
      stopping_ = true;
    }
    cv_.notify_all();
    server_.stop();
    thread_.join();
  }

  void add(const std::string& path, std::string body, std::string type = "text/html") {
    std::lock_guard lock(mu_);
    pages_[path] = Page{std::move(body), std::move(type)};
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  struct Page {
    std::string body, type;
  };
  httplib::Server server_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stopping_ = false;
  std::map<std::string, Page> pages_;
  int port_ = 0;
  std::thread thread_;
};

/// Records navigation and UI calls as text lines ("start 1", "fail 1 -1004", ...) and
/// answers them: policies and panels from the fields below, on a later turn of the main
/// loop when `answerLater` is set, as a real delegate that asks someone would.
class RecordingDelegate : public NavigationDelegate, public WebUIDelegate {
 public:
  std::vector<std::string> events;
  std::vector<NavigationAction> actions;
  std::vector<NavigationResponse> responses;
  std::vector<PlatformError> errors;
  std::function<NavigationActionPolicy(const NavigationAction&)> actionPolicy = [](const NavigationAction&) {
    return NavigationActionPolicy::allow;
  };
  bool answerLater = true;
  bool confirmAnswer = true;
  std::optional<std::string> promptAnswer;
  std::vector<NavigationAction> newWindows;

  bool has(const std::string& event) const {
    for (const auto& e : events)
      if (e == event) return true;
    return false;
  }

  void decidePolicyForNavigationAction(WebView&, const NavigationAction& action,
                                       NavigationActionDecisionHandler handler) override {
    actions.push_back(action);
    answer([handler, policy = actionPolicy(action)] { handler(policy); });
  }
  void decidePolicyForNavigationResponse(WebView&, const NavigationResponse& response,
                                         NavigationResponseDecisionHandler handler) override {
    responses.push_back(response);
    answer([handler] { handler(NavigationResponsePolicy::allow); });
  }
  void didStartProvisionalNavigation(WebView&, NavigationId id) override { log("start", id); }
  void didReceiveServerRedirectForProvisionalNavigation(WebView&, NavigationId id) override { log("redirect", id); }
  void didCommitNavigation(WebView&, NavigationId id) override { log("commit", id); }
  void didFinishNavigation(WebView&, NavigationId id) override { log("finish", id); }
  void didFailProvisionalNavigation(WebView&, NavigationId id, const PlatformError& error) override {
    errors.push_back(error);
    log("failProvisional", id, " " + std::to_string(error.code));
  }
  void didFailNavigation(WebView&, NavigationId id, const PlatformError& error) override {
    errors.push_back(error);
    log("fail", id, " " + std::to_string(error.code));
  }

  std::shared_ptr<WebView> createWebView(WebView&, const WebViewConfiguration&, const NavigationAction& action,
                                         const WindowFeatures&) override {
    newWindows.push_back(action);
    events.push_back("newWindow " + action.request.url);
    return nullptr;
  }
  void runJavaScriptAlertPanel(WebView&, const std::string& message, const FrameInfo&,
                               std::function<void()> done) override {
    events.push_back("alert " + message);
    answer([done] { done(); });
  }
  void runJavaScriptConfirmPanel(WebView&, const std::string& message, const FrameInfo&,
                                 std::function<void(bool)> done) override {
    events.push_back("confirm " + message);
    answer([done, yes = confirmAnswer] { done(yes); });
  }
  void runJavaScriptTextInputPanel(WebView&, const std::string& prompt, const std::optional<std::string>& defaultText,
                                   const FrameInfo&, std::function<void(std::optional<std::string>)> done) override {
    events.push_back("prompt " + prompt + " [" + defaultText.value_or("(none)") + "]");
    answer([done, text = promptAnswer] { done(text); });
  }

 private:
  void log(const char* what, NavigationId id, const std::string& extra = "") {
    events.push_back(std::string(what) + " " + std::to_string(id) + extra);
  }
  void answer(std::function<void()> reply) {
    if (answerLater) {
      dispatchMain(std::move(reply));
    } else {
      reply();
    }
  }
};

/// Receives what a page posts to a named handler.
class MessageInbox : public ScriptMessageHandler {
 public:
  std::vector<nlohmann::json> bodies;
  std::function<void(const ScriptMessage&)> onMessage;
  void didReceiveScriptMessage(UserContentController&, const ScriptMessage& message) override {
    bodies.push_back(message.body);
    if (onMessage) onMessage(message);
  }
};

class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 400, 600);
    layer_ = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window_), layer_);
    gtk_widget_show_all(window_);
  }
  void TearDown() override {
    gtk_widget_destroy(window_);
    MainQueue::main().runUntilIdle();
  }

  /// A web view on the engine, shown in the test window (in the window's layer).
  std::shared_ptr<GtkWebView> makeView(WebViewConfiguration configuration = {}) {
    auto view = std::static_pointer_cast<GtkWebView>(makeGtkWebView(Rect{0, 0, 400, 600}, std::move(configuration)));
    gtk_fixed_put(GTK_FIXED(layer_), view->widget(), 0, 0);
    gtk_widget_show(view->widget());
    return view;
  }

  /// Runs the main loop until `done` holds; fails the test after `seconds`.
  static bool runUntil(const std::function<bool()>& done, double seconds = 15) {
    return MainQueue::main().runUntil(done, seconds);
  }

  GtkWidget* window_ = nullptr;
  GtkWidget* layer_ = nullptr;
};

}  // namespace qvad::test
