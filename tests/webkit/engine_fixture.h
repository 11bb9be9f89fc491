// Shared pieces of the engine tests: pages served over loopback, a window to show web
// views in, the main loop run until something happened, and a delegate that records
// every navigation and UI call and answers them as told, now or on a later turn.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <httplib.h>

#include <atomic>
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
#include "platform/gtk/window_gtk.h"
#include "platform/toolkit/view.h"
#include "platform/main_queue.h"
#include "platform/web_view.h"

namespace qvad::test {

/// A left-button press or release at a point of the window's content, as a person's
/// pointer sends it.
inline void pointer(DesktopWindow& w, GdkEventType type, double x, double y) {
  GdkWindow* gw = gtk_widget_get_window(w.widget());
  GdkEvent* e = gdk_event_new(type);
  e->button.window = GDK_WINDOW(g_object_ref(gw));
  e->button.send_event = TRUE;
  e->button.time = GDK_CURRENT_TIME;
  e->button.x = x;
  e->button.y = y;
  e->button.button = 1;
  gdk_event_set_device(e, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(gw))));
  gtk_main_do_event(e);
  gdk_event_free(e);
}

inline void click(DesktopWindow& w, double x, double y) {
  pointer(w, GDK_BUTTON_PRESS, x, y);
  pointer(w, GDK_BUTTON_RELEASE, x, y);
}

/// A person's click at a point of the window's content: the display server moves its
/// pointer there and presses (XTest), so the events find their way through the windows
/// as a real mouse's do, rather than being handed to the top-level window.
void personClick(DesktopWindow& w, int x, int y);  // display_input.cpp (X headers kept apart)

/// The real text entry the window shows for an alert's text field, or null.
inline GtkEntry* shownEntry(DesktopWindow& w) {
  GtkEntry* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(w.widget()))));
  for (GList* c = children; c; c = c->next)
    if (GTK_IS_ENTRY(c->data)) found = GTK_ENTRY(c->data);
  g_list_free(children);
  return found;
}

/// A click at the middle of `view` as the window shows it.
inline void clickOn(DesktopWindow& w, const View& view) {
  const Rect b = view.bounds();
  const Point p = view.convertToWindow(Point{b.width() / 2, b.height() / 2});
  click(w, p.x, p.y);
}

/// An HTTP server on 127.0.0.1 with fixed pages. "/stall" holds its answer until the
/// server stops, for loads that must not finish; "/halfway" sends the start of a page
/// and then holds the rest, for loads that commit but must not finish. Another local
/// address and a fixed port are for tests inside a network of their own.
class LoopbackPages {
 public:
  explicit LoopbackPages(std::string host = "127.0.0.1", int port = 0) : host_(std::move(host)) {
    server_.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
      std::unique_lock lock(mu_);
      cv_.wait(lock, [this] { return stopping_; });
      res.set_content("late", "text/plain");
    });
    // A page that starts to arrive and then stalls: the load commits but never finishes.
    server_.Get("/halfway", [this](const httplib::Request&, httplib::Response& res) {
      const std::string head = "<html><head><title>half</title></head><body>" + std::string(4096, ' ') + "<p>start";
      res.set_content_provider(head.size() * 4, "text/html",
                               [this, head](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset == 0) return sink.write(head.data(), head.size());
                                 std::unique_lock lock(mu_);
                                 cv_.wait(lock, [this] { return stopping_; });
                                 return false;
                               });
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
    // No idle connection to wait for at the end (the engine also opens some ahead of use).
    server_.set_keep_alive_max_count(1);
    server_.set_keep_alive_timeout(1);
    port_ = port ? (server_.bind_to_port(host_, port) ? port : 0) : server_.bind_to_any_port(host_);
    // The socket listens from here on: connections wait in its backlog until the thread
    // accepts them, so nothing needs to wait for the thread to start.
    thread_ = std::thread([this] {
      server_.listen_after_bind();
      listenEnded_ = true;
    });
  }
  ~LoopbackPages() {
    // stop() only ends a server whose accept loop runs already.
    while (!server_.is_running() && !listenEnded_) std::this_thread::yield();
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
  std::string url(const std::string& path) const { return "http://" + host_ + ":" + std::to_string(port_) + path; }
  bool listening() const { return port_ > 0; }

 private:
  struct Page {
    std::string body, type;
  };
  std::string host_;
  httplib::Server server_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stopping_ = false;
  std::map<std::string, Page> pages_;
  int port_ = 0;
  std::atomic<bool> listenEnded_{false};
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
  void didReceiveScriptMessage(UserContentController&, const ScriptMessage& message) override {
    bodies.push_back(message.body);
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
