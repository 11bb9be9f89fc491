// The demo host: a small GTK application that starts the library and shows each kind of
// ad over its own window through the public API alone (QvHostWindow). The scripted
// "person" and the screenshots come from demo_shell.h (demo tooling); everything
// ad-related is include/qvad/.
//
//   qvad-demo [--flow all|start|floating|reward|interstitial] [--out DIR] [--gui]
//             [--key K] [--secret S]
//
// Without --gui the flows run by themselves and every host callback prints one line,
// "<format> <callback name>". The server comes from QVAD_API_BASE_URL and QVAD_CA_FILE,
// or is a sandbox started for the run.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "demo_shell.h"
#include "qvad/configuration.h"
#include "qvad/host_window.h"
#include "qvad/main_loop.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "qvad/qv_interstitial_ad.h"
#include "qvad/qv_reward_video_ad.h"

namespace {

using qvad::QvError;

constexpr double kNetworkWait = 30;  // seconds; generous for a loaded machine
constexpr double kPageWait = 40;     // the reward page counts down before it can close

struct Options {
  std::string flow = "all";
  std::string out;
  bool gui = false;
  std::string key = "demo-app";
  std::string secret = "demo-secret";
};

std::string describe(const std::optional<QvError>& e) {
  if (!e) return "ok";
  return "error " + std::to_string(e->errorCode.value_or(0)) + " " + e->errorDescription.value_or("");
}

// The host application's own window: a phone-sized GTK window with a title, a note, a
// status line and, with --gui, a few buttons. The ads appear over it.
class HostScreen {
 public:
  explicit HostScreen(const std::string& title) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(window_), 375, 812);
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css,
                                    "#screen { background: #eceff4; }"
                                    "#bar { background: #283c60; color: white; font-weight: bold; font-size: 20px;"
                                    "       padding: 18px 16px; }"
                                    "#status { color: #145a28; }",
                                    -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    GtkWidget* screen = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_name(screen, "screen");
    GtkWidget* bar = gtk_label_new(title.c_str());
    gtk_widget_set_name(bar, "bar");
    gtk_label_set_xalign(GTK_LABEL(bar), 0);
    gtk_box_pack_start(GTK_BOX(screen), bar, FALSE, FALSE, 0);
    GtkWidget* note = gtk_label_new("A host application's own screen. The ads appear over it.");
    gtk_label_set_line_wrap(GTK_LABEL(note), TRUE);
    gtk_label_set_xalign(GTK_LABEL(note), 0);
    gtk_widget_set_margin_start(note, 16);
    gtk_widget_set_margin_end(note, 16);
    gtk_box_pack_start(GTK_BOX(screen), note, FALSE, FALSE, 0);
    status_ = gtk_label_new("");
    gtk_widget_set_name(status_, "status");
    gtk_label_set_xalign(GTK_LABEL(status_), 0);
    gtk_widget_set_margin_start(status_, 16);
    gtk_box_pack_start(GTK_BOX(screen), status_, FALSE, FALSE, 0);
    buttons_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_widget_set_margin_start(buttons_, 16);
    gtk_widget_set_margin_end(buttons_, 16);
    gtk_box_pack_start(GTK_BOX(screen), buttons_, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), screen);
    gtk_widget_show_all(window_);
    host_ = qvad::QvHostWindow::attach(GTK_WINDOW(window_));
  }
  ~HostScreen() {
    host_.reset();
    gtk_widget_destroy(window_);
  }

  qvad::QvHostWindow& host() { return *host_; }
  void setStatus(const std::string& text) { gtk_label_set_text(GTK_LABEL(status_), text.c_str()); }
  void addButton(const std::string& title, std::function<void()> action) {
    GtkWidget* b = gtk_button_new_with_label(title.c_str());
    auto* owned = new std::function<void()>(std::move(action));
    g_signal_connect_data(
        b, "clicked", G_CALLBACK(+[](GtkButton*, gpointer f) { (*static_cast<std::function<void()>*>(f))(); }), owned,
        [](gpointer f, GClosure*) { delete static_cast<std::function<void()>*>(f); }, GConnectFlags{});
    gtk_box_pack_start(GTK_BOX(buttons_), b, FALSE, FALSE, 0);
    gtk_widget_show(b);
  }
  void onClosed(std::function<void()> action) {
    closed_ = std::move(action);
    g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                       auto* screen = static_cast<HostScreen*>(self);
                       if (screen->closed_) screen->closed_();
                       return TRUE;  // the host decides when its window goes
                     }),
                     this);
  }

 private:
  GtkWidget* window_ = nullptr;
  GtkWidget* status_ = nullptr;
  GtkWidget* buttons_ = nullptr;
  std::shared_ptr<qvad::QvHostWindow> host_;
  std::function<void()> closed_;
};

class Host {
 public:
  Host(HostScreen& screen, Options options) : screen_(screen), person_(screen.host()), opt_(std::move(options)) {}

  /// Prints one callback line and shows it in the host's status line.
  void said(const std::string& format, const std::string& callback, const std::string& detail = {}) {
    const std::string line = format + " " + callback + (detail.empty() ? "" : " " + detail);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    screen_.setStatus(line);
  }

  void snap(const std::string& name) {
    if (opt_.out.empty()) return;
    // Let pending frames reach the window before it is read back.
    qvad::QvMainLoop::runFor(0.3);
    const std::string path = opt_.out + "/" + name + ".png";
    if (!person_.screenshot(path)) std::printf("demo: could not write %s\n", path.c_str());
  }

  bool wait(const std::function<bool()>& done, double seconds, const char* what) {
    if (qvad::QvMainLoop::runUntil(done, seconds)) return true;
    std::printf("demo: gave up waiting for %s\n", what);
    return false;
  }

  // -- the flows, as a host writes them ------------------------------------------

  void start(std::function<void(bool)> then) {
    qvad::QvInterActiveAdManager::shared().start(opt_.key, opt_.secret, [this, then](std::optional<QvError> e) {
      said("start", "complete", describe(e));
      then(!e);
    });
  }

  void showFloating() {
    qvad::QvInterActiveAdManager::shared().showAd(
        1.0, qvad::kQvDefaultAdOrigin, screen_.host().view(),
        [this] {
          ++floatingShown_;
          said("floating", "onShowAction");
        },
        [this] {
          ++floatingClicked_;
          said("floating", "onClickAction");
        },
        [this] {
          ++floatingClosed_;
          said("floating", "onCloseAction");
        },
        [this](std::optional<QvError> e) {
          ++floatingFailed_;
          said("floating", "onLoadFailed", describe(e));
        });
  }

  void loadReward() {
    rewardDelegate_ = std::make_shared<qvad::QvRewardVideoAdDelegate>();
    auto& d = *rewardDelegate_;
    d.rewardedVideoAdDidLoad = [this](qvad::QvRewardVideoAd&) {
      rewardLoaded_ = true;
      said("reward", "rewardedVideoAdDidLoad:");
    };
    d.rewardedVideoAdDidFailWithError = [this](qvad::QvRewardVideoAd&, const QvError& e) {
      rewardFailed_ = true;
      said("reward", "rewardedVideoAdDidFailWithError:", describe(e));
    };
    d.rewardedVideoAdDeginShow = [this](qvad::QvRewardVideoAd&) { said("reward", "rewardedVideoAdDeginShow:"); };
    d.rewardedVideoAdDidShow = [this](qvad::QvRewardVideoAd&, const std::optional<QvError>& e) {
      said("reward", "rewardedVideoAdDidShow:", e ? describe(e) : "");
    };
    d.rewardedVideoAdComplete = [this](qvad::QvRewardVideoAd&) {
      ++rewarded_;
      said("reward", "rewardedVideoAdComplete:");
    };
    d.rewardedVideoAdDidClick = [this](qvad::QvRewardVideoAd&) { said("reward", "rewardedVideoAdDidClick:"); };
    d.rewardedVideoAdWillClose = [this](qvad::QvRewardVideoAd&) { said("reward", "rewardedVideoAdWillClose:"); };
    d.rewardedVideoAdDidClose = [this](qvad::QvRewardVideoAd&) {
      rewardClosed_ = true;
      said("reward", "rewardedVideoAdDidClose:");
    };
    reward_ = qvad::QvRewardVideoAd::create("reward-1");
    reward_->setDelegate(rewardDelegate_);
    reward_->loadAD();
  }

  void loadInterstitial() {
    interstitialDelegate_ = std::make_shared<qvad::QvInterstitialAdDelegate>();
    auto& d = *interstitialDelegate_;
    d.interstitialAdDidLoad = [this](qvad::QvInterstitialAd&) {
      interstitialLoaded_ = true;
      said("interstitial", "interstitialAdDidLoad:");
    };
    d.interstitialAdDidFailWithError = [this](qvad::QvInterstitialAd&, const QvError& e) {
      interstitialFailed_ = true;
      said("interstitial", "interstitialAdDidFailWithError:", describe(e));
    };
    d.interstitialAdBeginShow = [this](qvad::QvInterstitialAd&) { said("interstitial", "interstitialAdBeginShow:"); };
    d.interstitialAdDidShow = [this](qvad::QvInterstitialAd&, const std::optional<QvError>& e) {
      interstitialShown_ = !e;
      said("interstitial", "interstitialAdDidShow:", e ? describe(e) : "");
    };
    d.interstitialAdDidClick = [this](qvad::QvInterstitialAd&) { said("interstitial", "interstitialAdDidClick:"); };
    d.interstitialAdWillClose = [this](qvad::QvInterstitialAd&) { said("interstitial", "interstitialAdWillClose:"); };
    d.interstitialAdDidClose = [this](qvad::QvInterstitialAd&) {
      interstitialClosed_ = true;
      said("interstitial", "interstitialAdDidClose:");
    };
    interstitial_ = qvad::QvInterstitialAd::create();
    interstitial_->setPlacementId("interstitial-1");
    interstitial_->setDelegate(interstitialDelegate_);
    interstitial_->loadAD();
  }

  // -- the scripted person -------------------------------------------------------

  bool runStart() {
    snap("00-host");
    start([this](bool success) {
      startDone_ = true;
      startOk_ = success;
    });
    return wait([this] { return startDone_; }, kNetworkWait, "start-up") && startOk_;
  }

  bool runFloating() {
    showFloating();
    // Shown once laid out; visible once its picture has loaded.
    if (!wait([&] { return floatingFailed_ > 0 || (floatingShown_ > 0 && person_.badgeVisible()); }, kNetworkWait,
              "the badge"))
      return false;
    if (floatingFailed_) return false;
    snap("01-floating-badge");
    if (!person_.tapBadge()) return fail("the badge took no tap");
    if (!wait([&] { return floatingClicked_ > 0 && person_.covered(); }, kNetworkWait, "the in-app browser"))
      return false;
    qvad::QvMainLoop::runFor(1.5);  // the landing page loads
    snap("02-floating-browser");
    if (!person_.tapButton("Close")) return fail("the browser has no Close button");
    if (!wait([&] { return !person_.covered(); }, 5, "the browser to close")) return false;
    if (!person_.tapBadgeClose()) return fail("the badge's close button took no tap");
    if (!wait([&] { return floatingClosed_ > 0; }, 5, "the badge to close")) return false;
    snap("03-floating-closed");
    return true;
  }

  bool runReward() {
    loadReward();
    if (!wait([&] { return rewardLoaded_ || rewardFailed_; }, kNetworkWait, "the reward video ad") || rewardFailed_)
      return false;
    reward_->showAd(screen_.host().viewController(), true);
    qvad::QvMainLoop::runFor(2);
    snap("04-reward-page");
    // The page counts down, grants the reward with a toast, and only then offers close.
    if (!wait([&] { return rewarded_ > 0; }, kPageWait, "the reward")) return false;
    qvad::QvMainLoop::runFor(0.4);
    snap("05-reward-toast");
    qvad::QvMainLoop::runFor(2.2);  // the toast goes
    person_.clickInPage("#close");
    if (!wait([&] { return rewardClosed_; }, kNetworkWait, "the reward page to close")) return false;
    return true;
  }

  bool runInterstitial() {
    loadInterstitial();
    if (!wait([&] { return interstitialLoaded_ || interstitialFailed_; }, kNetworkWait, "the interstitial") ||
        interstitialFailed_)
      return false;
    interstitial_->showAd(screen_.host().viewController(), true);
    if (!wait([&] { return interstitialShown_; }, kNetworkWait, "the interstitial page")) return false;
    qvad::QvMainLoop::runFor(1);
    snap("06-interstitial");
    person_.clickInPage("#close");
    if (!wait([&] { return interstitialClosed_; }, kNetworkWait, "the interstitial to close")) return false;
    snap("07-host-after");
    return true;
  }

  int runScripted() {
    const auto& f = opt_.flow;
    bool ok = runStart();
    if (!ok) return 1;
    if (f == "all" || f == "floating") ok = runFloating() && ok;
    if (f == "all" || f == "reward") ok = runReward() && ok;
    if (f == "all" || f == "interstitial") ok = runInterstitial() && ok;
    return ok ? 0 : 1;
  }

  // -- a person at the window ------------------------------------------------------

  void runGui() {
    screen_.addButton("Floating ad", [this] { showFloating(); });
    screen_.addButton("Load reward video", [this] { loadReward(); });
    screen_.addButton("Show reward video", [this] {
      if (reward_) reward_->showAd(screen_.host().viewController(), true);
    });
    screen_.addButton("Load interstitial", [this] { loadInterstitial(); });
    screen_.addButton("Show interstitial", [this] {
      if (interstitial_) interstitial_->showAd(screen_.host().viewController(), true);
    });
    screen_.onClosed([] { qvad::QvMainLoop::stop(); });
    start([](bool) {});
    qvad::QvMainLoop::run();
  }

 private:
  bool fail(const char* what) {
    std::printf("demo: %s\n", what);
    return false;
  }

  HostScreen& screen_;
  demo::Person person_;
  Options opt_;
  bool startDone_ = false, startOk_ = false;
  int floatingShown_ = 0, floatingClicked_ = 0, floatingClosed_ = 0, floatingFailed_ = 0, rewarded_ = 0;
  bool rewardLoaded_ = false, rewardFailed_ = false, rewardClosed_ = false;
  bool interstitialLoaded_ = false, interstitialFailed_ = false, interstitialShown_ = false,
       interstitialClosed_ = false;
  std::shared_ptr<qvad::QvRewardVideoAd> reward_;
  std::shared_ptr<qvad::QvRewardVideoAdDelegate> rewardDelegate_;
  std::shared_ptr<qvad::QvInterstitialAd> interstitial_;
  std::shared_ptr<qvad::QvInterstitialAdDelegate> interstitialDelegate_;
};

int usage() {
  std::fprintf(stderr,
               "usage: qvad-demo [--flow all|start|floating|reward|interstitial] [--out DIR] [--gui]"
               " [--key K] [--secret S]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // A virtual frame buffer has no GL: the engine draws without compositing there.
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("NO_AT_BRIDGE", "1", 0);
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "qvad-demo: no display (run it under xvfb-run, or through make demo)\n");
    return 2;
  }
  Options opt;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--gui") {
      opt.gui = true;
    } else if (a == "--flow" && hasValue) {
      opt.flow = argv[++i];
    } else if (a == "--out" && hasValue) {
      opt.out = argv[++i];
    } else if (a == "--key" && hasValue) {
      opt.key = argv[++i];
    } else if (a == "--secret" && hasValue) {
      opt.secret = argv[++i];
    } else {
      return usage();
    }
  }
  if (opt.flow != "all" && opt.flow != "start" && opt.flow != "floating" && opt.flow != "reward" &&
      opt.flow != "interstitial")
    return usage();
  if (!opt.out.empty()) std::filesystem::create_directories(opt.out);

  std::unique_ptr<demo::Sandbox> sandbox;
  if (!std::getenv("QVAD_API_BASE_URL")) {
    std::string state = (std::filesystem::temp_directory_path() / "qvad-demo-sandbox-XXXXXX").string();
    if (!mkdtemp(state.data())) {
      std::fprintf(stderr, "qvad-demo: cannot make a directory for the sandbox\n");
      return 1;
    }
    sandbox = std::make_unique<demo::Sandbox>(argv[0], state);
    if (!sandbox->ok()) {
      std::fprintf(stderr, "qvad-demo: %s\n", sandbox->error().c_str());
      return 1;
    }
    qvad::QvConfiguration::setApiBaseURL(sandbox->baseURL());
    qvad::QvConfiguration::setCAFile(sandbox->caFile());
  }
  // The library's own console lines go to standard error, apart from the callback lines.
  qvad::QvConfiguration::setLogSink(
      [](std::string_view line) { std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data()); });
  std::printf("host: ad platform at %s\n", qvad::QvConfiguration::apiBaseURL().c_str());
  std::fflush(stdout);

  HostScreen screen("qvad demo host");
  Host host(screen, opt);
  if (opt.gui) {
    host.runGui();
    return 0;
  }
  return host.runScripted();
}
