// qvadctl nav: the web ad container's navigation policy on one navigation action, run
// by a real container on the headless backend; the effect printed is what the
// container did (a browser, a nested container or a store sheet presented over it, a
// close, a URL handed to the system).
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "platform/headless/scripted_web_view.h"
#include "platform/main_queue.h"
#include "platform/service_slot.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/window.h"
#include "platform/web_view.h"
#include "qvad/configuration.h"
#include "ui/in_app_browser_controller.h"
#include "web/base_wk_web_view_controller.h"

namespace qvadctl {

const char* const kNavUsage =
    "usage: qvadctl nav URL [--link] [--link-new-window] [--os-opens yes|no]\n"
    "\n"
    "Shows an empty web ad container on the headless backend, runs its navigation policy on\n"
    "a navigation to URL and prints what it decided and did:\n"
    "  {\"decision\":\"allow\"|\"cancel\",\"effect\":\"none\"|\"browser\"|\"container\"|\"store\"|\"close\"|\"os\"}\n"
    "with \"storeId\" added for the store sheet. The library's console lines go to standard error.\n"
    "\n"
    "  --link              the navigation is a link the user activated\n"
    "  --link-new-window   the page asked for links outside it (page configuration)\n"
    "  --os-opens yes|no   whether the operating system takes a URL handed to it (default yes)\n";

namespace {

using namespace qvad;

int usageError(const std::string& message) { return qvadctl::reportUsageError("nav", message); }

struct Outcome {
  NavigationActionPolicy policy = NavigationActionPolicy::allow;
  const char* effect = "none";
  std::optional<double> storeId;
};

Outcome runInContainer(const std::string& url, bool link, bool linkNewWindow, bool osOpens) {
  auto& queue = *HeadlessMainQueue::current();
  auto& app = Application::shared();
  UrlOpener::slot().install(std::make_shared<AnsweringUrlOpener>(osOpens));

  auto events = std::make_shared<std::vector<std::string>>();
  auto host = std::make_shared<ViewController>();
  auto window = std::make_shared<Window>();
  window->setRootViewController(host);
  window->makeKeyAndVisible();
  auto container = std::make_shared<BaseWKWebViewController>();
  container->setModalPresentationStyle(ModalPresentationStyle::custom);
  container->adCallBackAction = [events](const std::string& e) { events->push_back(e); };
  host->present(container, false);
  queue.runFor(1);
  container->linkNewWindow = linkNewWindow;

  Outcome out;
  if (auto* page = dynamic_cast<ScriptedWebView*>(container->webView.get())) {
    NavigationAction action = ScriptedWebView::linkAction(url);
    if (!link) action.navigationType = NavigationType::other;
    auto answers = page->decidePolicy(action);
    queue.runFor(2);  // presentations and dismissals finish
    if (answers->answered()) out.policy = answers->value();
  }
  auto presented = container->presentedViewController();
  if (!app.openedURLs().empty()) {
    out.effect = "os";
  } else if (!events->empty() && events->front() == "adWillClose") {
    out.effect = "close";
  } else if (container->appStoreVC) {
    out.effect = "store";
    out.storeId = container->downloadAppId;
  } else if (std::dynamic_pointer_cast<InAppBrowserController>(presented)) {
    out.effect = "browser";
  } else if (std::dynamic_pointer_cast<BaseWKWebViewController>(presented)) {
    out.effect = "container";
  }

  // Everything goes again before the command returns.
  container.reset();
  presented.reset();
  host->dismiss(false);
  queue.runFor(2);
  window.reset();
  host.reset();
  app.setKeyWindow(nullptr);
  queue.runFor(1);
  return out;
}

}  // namespace

int navCommand(const Args& args) {
  std::optional<std::string> url;
  bool link = false, linkNewWindow = false, osOpens = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--link") {
      link = true;
    } else if (a == "--link-new-window") {
      linkNewWindow = true;
    } else if (a == "--os-opens") {
      if (i + 1 >= args.size()) return usageError("missing value for --os-opens");
      const std::string& v = args[++i];
      if (v != "yes" && v != "no") return usageError("--os-opens takes yes or no, not " + v);
      osOpens = v == "yes";
    } else if (a.starts_with("--")) {
      return usageError("unknown option: " + a);
    } else if (url) {
      return usageError("expected one URL");
    } else {
      url = a;
    }
  }
  if (!url) return usageError("expected one URL");

  // The container's teardown writes the user defaults: into a directory of our own.
  namespace fs = std::filesystem;
  std::string dir = (fs::temp_directory_path() / "qvadctl-nav-XXXXXX").string();
  if (!mkdtemp(dir.data())) {
    std::fprintf(stderr, "qvadctl nav: cannot make a temporary directory\n");
    return 1;
  }
  // A headless container in every build: a queue with a virtual clock and a scripted page,
  // installed before anything uses the build's default backend (GLib and the engine in a
  // desktop build, which would need a display).
  auto queue = std::make_shared<HeadlessMainQueue>();
  MainQueue::slot().install(queue);
  queue->useVirtualClock(true);
  setWebViewMaker([](Rect frame, WebViewConfiguration configuration) {
    return std::make_shared<ScriptedWebView>(frame, std::move(configuration));
  });
  QvConfiguration::setDataDirectory(dir + "/data");
  QvConfiguration::setDocumentsDirectory(dir + "/Documents");
  QvConfiguration::setLogSink([](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  });

  const Outcome out = runInContainer(*url, link, linkNewWindow, osOpens);
  // The defaults are written off the main thread; wait for the file before cleaning up.
  queue->runUntil([&] { return fs::exists(dir + "/data/defaults.json"); }, 5);
  std::error_code ec;
  fs::remove_all(dir, ec);

  nlohmann::ordered_json json = {{"decision", out.policy == NavigationActionPolicy::allow ? "allow" : "cancel"},
                                 {"effect", out.effect}};
  if (out.storeId) {
    // Item ids are whole numbers in practice; print them without a fraction.
    const double id = *out.storeId;
    if (std::trunc(id) == id && std::fabs(id) < 9.0e15)
      json["storeId"] = static_cast<long long>(id);
    else
      json["storeId"] = id;
  }
  std::puts(json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
  return 0;
}

}  // namespace qvadctl
