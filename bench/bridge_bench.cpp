// The bridge round trip in WebKitGTK: the page posts a message that asks for a reply,
// the bridge answers with its reply script, the page's callback runs. Next to it, in
// the same process and alternating rounds, a bare WebKitGTK view whose message handler
// answers with a script of the same shape straight away. Needs a display.
//
//   bridge_bench [TRIPS]   (default 200 trips a round, 7 rounds of each)
//
// Last line: "bridge round trip: X ms (N trips)", X the median over rounds of ours'
// mean per trip.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_rows.h"
#include "platform/gtk/main_queue_glib.h"
#include "platform/gtk/web_view_webkit.h"
#include "platform/main_queue.h"
#include "platform/service_slot.h"
#include "platform/web_view.h"
#include "web/wk_js_bridge.h"
#include "support/engine_display.h"

namespace {

using namespace qvad::bench;

// Sends `count` requests one after another, each as soon as the previous reply came,
// and posts the time they took on the page's clock to "probe". The page's clock is
// coarse (the engine rounds it to a millisecond), so a round is timed whole and its
// mean per trip is the sample; the figure is the median over rounds.
const char* kPage = R"html(<!doctype html><html><head><script>
window.qv = {
  pending: null,
  onReply(text) { JSON.parse(text); const next = this.pending; this.pending = null; next(); },
  send() {
    return new Promise(resolve => { this.pending = resolve;
      window.webkit.messageHandlers.tavro.postMessage({handle: "tavro", action: "jsbridge",
        method: {method: "toast", params: {text: "hello"}, callback: "window.qv.onReply"}}); });
  },
  async run(count) {
    const t = performance.now();
    for (let i = 0; i < count; i++) await this.send();
    window.webkit.messageHandlers.probe.postMessage({elapsed: performance.now() - t, count: count});
  }
};
</script></head><body>bridge</body></html>)html";

double lastPerTrip = 0;
bool gotTimes = false;

void readTimes(const nlohmann::json& body) {
  lastPerTrip = body["elapsed"].get<double>() / body["count"].get<double>();
  gotTimes = true;
}

bool runUntil(const std::function<bool()>& done, double seconds) {
  return qvad::MainQueue::main().runUntil(done, seconds);
}

// --- ours: the library's web view, handler and bridge, as the container binds them ---

class Feeder : public qvad::ScriptMessageHandler {
 public:
  std::weak_ptr<qvad::WKJSBridge> bridge;
  void didReceiveScriptMessage(qvad::UserContentController&, const qvad::ScriptMessage& m) override {
    if (auto b = bridge.lock()) b->receivePageMessage(m.body);
  }
};
class Probe : public qvad::ScriptMessageHandler {
 public:
  void didReceiveScriptMessage(qvad::UserContentController&, const qvad::ScriptMessage& m) override { readTimes(m.body); }
};
class Loaded : public qvad::NavigationDelegate {
 public:
  bool finished = false;
  void didFinishNavigation(qvad::WebView&, qvad::NavigationId) override { finished = true; }
};

struct Ours {
  std::shared_ptr<Feeder> feeder = std::make_shared<Feeder>();
  std::shared_ptr<Loaded> loaded = std::make_shared<Loaded>();
  std::shared_ptr<qvad::GtkWebView> view;
  std::shared_ptr<qvad::WKJSBridge> bridge;
  explicit Ours(GtkWidget* layer) {
    qvad::WebViewConfiguration c;
    c.userContentController->addScriptMessageHandler(feeder, "tavro");
    c.userContentController->addScriptMessageHandler(std::make_shared<Probe>(), "probe");
    view = std::static_pointer_cast<qvad::GtkWebView>(qvad::makeGtkWebView(qvad::Rect{0, 0, 300, 300}, std::move(c)));
    gtk_fixed_put(GTK_FIXED(layer), view->widget(), 0, 0);
    gtk_widget_show(view->widget());
    bridge = qvad::WKJSBridge::bind(view);
    feeder->bridge = bridge;
    bridge->jsbridge();
    view->setNavigationDelegate(loaded);
    view->loadHTMLString(kPage, "http://127.0.0.1/bridge");
  }
  bool ready() const { return loaded->finished; }
  void run(int trips) { view->evaluateJavaScript("window.qv.run(" + std::to_string(trips) + ")"); }
};

// --- the bare program: WebKitGTK alone, the handler answers with a script ---

std::string jsonOf(WebKitJavascriptResult* result) {
  gchar* text = jsc_value_to_json(webkit_javascript_result_get_js_value(result), 0);
  std::string s = text ? text : "null";
  g_free(text);
  return s;
}

struct Bare {
  GtkWidget* view = nullptr;
  bool finished = false;
  explicit Bare(GtkWidget* layer) {
    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    g_signal_connect(manager, "script-message-received::tavro", G_CALLBACK(+[](WebKitUserContentManager*,
                                                                              WebKitJavascriptResult* r, gpointer self) {
                       // What a bare program does: read the message, answer its callback.
                       auto m = nlohmann::json::parse(jsonOf(r));
                       std::string callback = m["method"]["callback"].get<std::string>();
                       std::string script = callback + "('{\"ret\":0,\"msg\":\"\",\"params\":\"eyJyZXN1bHQiOiIxIn0=\"}')";
                       webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(static_cast<Bare*>(self)->view), script.c_str(),
                                                           -1, nullptr, nullptr, nullptr, nullptr, nullptr);
                     }),
                     this);
    g_signal_connect(manager, "script-message-received::probe",
                     G_CALLBACK(+[](WebKitUserContentManager*, WebKitJavascriptResult* r, gpointer) {
                       readTimes(nlohmann::json::parse(jsonOf(r)));
                     }),
                     nullptr);
    webkit_user_content_manager_register_script_message_handler(manager, "tavro");
    webkit_user_content_manager_register_script_message_handler(manager, "probe");
    view = webkit_web_view_new_with_user_content_manager(manager);
    g_object_unref(manager);
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer self) {
                       if (e == WEBKIT_LOAD_FINISHED) static_cast<Bare*>(self)->finished = true;
                     }),
                     this);
    gtk_widget_set_size_request(view, 300, 300);
    gtk_fixed_put(GTK_FIXED(layer), view, 310, 0);
    gtk_widget_show(view);
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), kPage, "http://127.0.0.1/bridge");
  }
  bool ready() const { return finished; }
  void run(int trips) {
    std::string s = "window.qv.run(" + std::to_string(trips) + ")";
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), s.c_str(), -1, nullptr, nullptr, nullptr, nullptr,
                                        nullptr);
  }
};

template <class V>
double round(V& v, int trips) {
  gotTimes = false;
  v.run(trips);
  if (!runUntil([] { return gotTimes; }, 120)) {
    std::fprintf(stderr, "bridge_bench: the page did not finish its round trips\n");
    std::exit(1);
  }
  return lastPerTrip;
}

}  // namespace

int main(int argc, char** argv) {
  int trips = 200;
  int rounds = 7;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--rounds=", 0) == 0) rounds = std::max(1, std::atoi(a.c_str() + 9));
    else if (std::atoi(a.c_str()) > 0) trips = std::atoi(a.c_str());
  }
  namespace fs = std::filesystem;
  std::string dir = (fs::temp_directory_path() / "qvad-bridge-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 2;
  if (!qvad::testing::openEngineDisplay(&argc, &argv, dir, "bridge_bench and its peer")) return 2;
  qvad::MainQueue::slot().install(std::make_shared<qvad::GlibMainQueue>());
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 620, 320);
  GtkWidget* layer = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(window), layer);
  gtk_widget_show_all(window);
  double oursMs = 0, bareMs = 0;
  {
    Ours ours(layer);
    Bare bare(layer);
    if (!runUntil([&] { return ours.ready() && bare.ready(); }, 60)) {
      std::fprintf(stderr, "bridge_bench: the pages did not load\n");
      return 1;
    }
    round(ours, 20);  // both engines warm before the first figure
    round(bare, 20);
    std::vector<double> a, b;
    for (int r = 0; r < rounds; ++r) {
      a.push_back(round(ours, trips));
      b.push_back(round(bare, trips));
    }
    oursMs = median(a), bareMs = median(b);
    const double ratio = oursMs / bareMs;
    Row row{"bridge", oursMs, bareMs, "ms", ratio, "ratio <= 1.3", ratio <= 1.3};
    row.detail = {{"tripsPerRound", trips}, {"rounds", rounds}};
    emit(row);
  }
  gtk_widget_destroy(window);
  qvad::MainQueue::main().runUntilIdle();
  std::error_code ec;
  fs::remove_all(dir, ec);
  std::printf("bridge round trip: %.3f ms (%d trips)\n", oursMs, trips * rounds);
  return 0;
}
