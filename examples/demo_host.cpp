// The demo host: a small application that starts the library and shows each kind of
// ad through the public API alone. Its window and the scripted "person" come from
// demo_shell.h (demo tooling); everything ad-related is include/qvad/.
//
//   qvad-demo [--flow all|start|floating|reward|interstitial] [--out DIR] [--gui]
//             [--key K] [--secret S]
//
// Without --gui the flows run by themselves and every host callback prints one line,
// "<format> <callback name>". The server comes from QVAD_API_BASE_URL and QVAD_CA_FILE,
// or is a sandbox started for the run.
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

class Host {
 public:
  Host(demo::Shell& shell, Options options) : shell_(shell), opt_(std::move(options)) {}

  /// Prints one callback line and shows it in the host's status line.
  void said(const std::string& format, const std::string& callback, const std::string& detail = {}) {
    const std::string line = format + " " + callback + (detail.empty() ? "" : " " + detail);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    shell_.setStatus(line);
  }

  void snap(const std::string& name) {
    if (opt_.out.empty()) return;
    // Let pending frames reach the window before it is read back.
    qvad::QvMainLoop::runFor(0.3);
    const std::string path = opt_.out + "/" + name + ".png";
    if (!shell_.screenshot(path)) std::printf("demo: could not write %s\n", path.c_str());
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
        1.0, qvad::kQvDefaultAdOrigin, shell_.contentView(),
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
    if (!wait([&] { return floatingFailed_ > 0 || (floatingShown_ > 0 && shell_.badgeVisible()); }, kNetworkWait,
              "the badge"))
      return false;
    if (floatingFailed_) return false;
    snap("01-floating-badge");
    if (!shell_.tapBadge()) return fail("the badge took no tap");
    if (!wait([&] { return floatingClicked_ > 0 && shell_.covered(); }, kNetworkWait, "the in-app browser"))
      return false;
    qvad::QvMainLoop::runFor(1.5);  // the landing page loads
    snap("02-floating-browser");
    if (!shell_.tapButton("Close")) return fail("the browser has no Close button");
    if (!wait([&] { return !shell_.covered(); }, 5, "the browser to close")) return false;
    if (!shell_.tapBadgeClose()) return fail("the badge's close button took no tap");
    if (!wait([&] { return floatingClosed_ > 0; }, 5, "the badge to close")) return false;
    snap("03-floating-closed");
    return true;
  }

  bool runReward() {
    loadReward();
    if (!wait([&] { return rewardLoaded_ || rewardFailed_; }, kNetworkWait, "the reward video ad") || rewardFailed_)
      return false;
    reward_->showAd(shell_.rootViewController(), true);
    qvad::QvMainLoop::runFor(2);
    snap("04-reward-page");
    // The page counts down, grants the reward with a toast, and only then offers close.
    if (!wait([&] { return rewarded_ > 0; }, kPageWait, "the reward")) return false;
    qvad::QvMainLoop::runFor(0.4);
    snap("05-reward-toast");
    qvad::QvMainLoop::runFor(2.2);  // the toast goes
    shell_.clickInPage("#close");
    if (!wait([&] { return rewardClosed_; }, kNetworkWait, "the reward page to close")) return false;
    return true;
  }

  bool runInterstitial() {
    loadInterstitial();
    if (!wait([&] { return interstitialLoaded_ || interstitialFailed_; }, kNetworkWait, "the interstitial") ||
        interstitialFailed_)
      return false;
    interstitial_->showAd(shell_.rootViewController(), true);
    if (!wait([&] { return interstitialShown_; }, kNetworkWait, "the interstitial page")) return false;
    qvad::QvMainLoop::runFor(1);
    snap("06-interstitial");
    shell_.clickInPage("#close");
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
    shell_.addButton("Floating ad", [this] { showFloating(); });
    shell_.addButton("Load reward video", [this] { loadReward(); });
    shell_.addButton("Show reward video", [this] {
      if (reward_) reward_->showAd(shell_.rootViewController(), true);
    });
    shell_.addButton("Load interstitial", [this] { loadInterstitial(); });
    shell_.addButton("Show interstitial", [this] {
      if (interstitial_) interstitial_->showAd(shell_.rootViewController(), true);
    });
    shell_.onWindowClosed([] { qvad::QvMainLoop::stop(); });
    start([](bool) {});
    qvad::QvMainLoop::run();
  }

 private:
  bool fail(const char* what) {
    std::printf("demo: %s\n", what);
    return false;
  }

  demo::Shell& shell_;
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
  std::string displayError;
  if (!demo::Shell::openDisplay(argc, argv, displayError)) {
    std::fprintf(stderr, "qvad-demo: %s\n", displayError.c_str());
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

  demo::Shell shell("qvad demo host");
  Host host(shell, opt);
  if (opt.gui) {
    host.runGui();
    return 0;
  }
  return host.runScripted();
}
