#include "x11_host_app.h"

#include <poll.h>

#include <cstdio>
#include <optional>

#include "qvad/main_loop.h"
#include "qvad/qv_inter_active_ad_manager.h"

namespace example {
namespace {

// "code text" of an error the library reported.
std::string describe(const std::optional<qvad::QvError>& e) {
  if (!e) return "no error";
  std::string text = std::to_string(e->errorCode ? *e->errorCode : 0);
  if (e->errorDescription) text += " " + *e->errorDescription;
  return text;
}

}  // namespace

X11HostApp::X11HostApp() {
  display_ = XOpenDisplay(nullptr);
  if (!display_) return;
  const int screen = DefaultScreen(display_);
  window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 100, 100, 480, 640, 0,
                                BlackPixel(display_, screen), 0xf4f1ea);
  XStoreName(display_, window_, "Xlib host");
  XSelectInput(display_, window_, ExposureMask | ButtonPressMask | StructureNotifyMask | KeyPressMask);
  deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display_, window_, &deleteWindow_, 1);
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  XMapWindow(display_, window_);
  XFlush(display_);
}

X11HostApp::~X11HostApp() {
  host_.reset();  // qvad's windows go before the host's
  if (!display_) return;
  if (gc_) XFreeGC(display_, gc_);
  if (window_) XDestroyWindow(display_, window_);
  XCloseDisplay(display_);
}

void X11HostApp::said(const std::string& event) {
  lastEvent = event;
  std::printf("%s\n", event.c_str());
  std::fflush(stdout);
  draw();
}

void X11HostApp::draw() {
  const int screen = DefaultScreen(display_);
  XClearWindow(display_, window_);
  XSetForeground(display_, gc_, BlackPixel(display_, screen));
  const std::string title = "An Xlib window; rewards: " + std::to_string(rewards);
  XDrawString(display_, window_, gc_, 20, 36, title.c_str(), static_cast<int>(title.size()));
  XSetForeground(display_, gc_, 0xdde3ea);
  XFillRectangle(display_, window_, gc_, kCanvas.x, kCanvas.y, kCanvas.width, kCanvas.height);
  for (const auto& [box, label] : {std::pair{kRewardButton, "Reward video"}, std::pair{kInterstitialButton, "Interstitial"}}) {
    XSetForeground(display_, gc_, 0x3b78c8);
    XFillRectangle(display_, window_, gc_, box.x, box.y, box.width, box.height);
    XSetForeground(display_, gc_, WhitePixel(display_, screen));
    XDrawString(display_, window_, gc_, box.x + 16, box.y + 27, label, static_cast<int>(std::string(label).size()));
  }
  XSetForeground(display_, gc_, BlackPixel(display_, screen));
  XDrawString(display_, window_, gc_, 20, 600, lastEvent.c_str(), static_cast<int>(lastEvent.size()));
  XFlush(display_);
}

void X11HostApp::start(const std::string& appKey, const std::string& appSecret) {
  host_ = qvad::QvHostWindow::overNativeWindow(window_);
  if (!host_) {
    said("no host window: qvad needs an X11 display");
    return;
  }
  qvad::QvInterActiveAdManager::shared().start(appKey, appSecret, [this](std::optional<qvad::QvError> error) {
    if (error) {
      said("start failed: " + describe(error));
      return;
    }
    started = true;
    said("started");
    // The badge over the canvas's bottom-right corner (window points).
    const qvad::QvPoint origin{kCanvas.x + kCanvas.width - 116.0, kCanvas.y + kCanvas.height - 116.0};
    qvad::QvInterActiveAdManager::shared().showAd(
        1.0, origin, host_->view(),
        [this] {
          badgeShown = true;
          said("badge shown");
        },
        [this] {
          badgeClicked = true;
          said("badge clicked");
        },
        [this] { said("badge closed"); },
        [this](std::optional<qvad::QvError> e) { said("badge failed: " + describe(e)); });
    loadAds();
  });
}

void X11HostApp::loadAds() {
  rewardDelegate_ = std::make_shared<qvad::QvRewardVideoAdDelegate>();
  rewardDelegate_->rewardedVideoAdDidLoad = [this](qvad::QvRewardVideoAd&) {
    rewardLoaded = true;
    said("reward video loaded");
  };
  rewardDelegate_->rewardedVideoAdDidShow = [this](qvad::QvRewardVideoAd&, const std::optional<qvad::QvError>& e) {
    rewardShown = !e;
    said(e ? "reward video failed to show" : "reward video shown");
  };
  rewardDelegate_->rewardedVideoAdComplete = [this](qvad::QvRewardVideoAd&) {
    ++rewards;
    said("reward granted");
  };
  rewardDelegate_->rewardedVideoAdDidClose = [this](qvad::QvRewardVideoAd&) {
    rewardClosed = true;
    said("reward video closed");
  };
  reward_ = qvad::QvRewardVideoAd::create("reward-1");
  reward_->setDelegate(rewardDelegate_);
  reward_->loadAD();

  interstitialDelegate_ = std::make_shared<qvad::QvInterstitialAdDelegate>();
  interstitialDelegate_->interstitialAdDidLoad = [this](qvad::QvInterstitialAd&) {
    interstitialLoaded = true;
    said("interstitial loaded");
  };
  interstitialDelegate_->interstitialAdDidShow = [this](qvad::QvInterstitialAd&,
                                                        const std::optional<qvad::QvError>& e) {
    interstitialShown = !e;
    said(e ? "interstitial failed to show" : "interstitial shown");
  };
  interstitialDelegate_->interstitialAdDidClose = [this](qvad::QvInterstitialAd&) {
    interstitialClosed = true;
    said("interstitial closed");
  };
  interstitial_ = qvad::QvInterstitialAd::create();
  interstitial_->setPlacementId("interstitial-1");
  interstitial_->setDelegate(interstitialDelegate_);
  interstitial_->loadAD();
}

void X11HostApp::click(int x, int y) {
  if (kRewardButton.contains(x, y)) {
    ++rewardClicks;
    if (rewardLoaded) reward_->showAd(host_->viewController(), true);
  } else if (kInterstitialButton.contains(x, y)) {
    ++interstitialClicks;
    if (interstitialLoaded) interstitial_->showAd(host_->viewController(), true);
  } else if (kCanvas.contains(x, y)) {
    ++canvasClicks;
    said("canvas clicked");
  }
}

void X11HostApp::step(int timeoutMs) {
  bool busy = false;
  while (XPending(display_)) {
    busy = true;
    XEvent ev;
    XNextEvent(display_, &ev);
    if (ev.type == Expose && ev.xexpose.count == 0) draw();
    if (ev.type == ButtonPress && ev.xbutton.button == Button1) click(ev.xbutton.x, ev.xbutton.y);
    if (ev.type == ClientMessage && static_cast<Atom>(ev.xclient.data.l[0]) == deleteWindow_) quit_ = true;
  }
  // qvad's share of the turn: its posted work and its own windows' events.
  busy = qvad::QvMainLoop::iterate() || busy;
  if (busy) return;
  pollfd p{ConnectionNumber(display_), POLLIN, 0};
  poll(&p, 1, timeoutMs);
}

}  // namespace example
