// An example Xlib application hosting qvad: a plain X11 window that draws its own
// content and runs its own event loop, calling qvad::QvMainLoop::iterate() every turn.
// The ads show over it through QvHostWindow::overNativeWindow. It uses only the public
// headers and the qvad library (and Xlib).
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <string>

#include "qvad/host_window.h"
#include "qvad/qv_interstitial_ad.h"
#include "qvad/qv_reward_video_ad.h"

namespace example {

struct Box {
  int x, y, width, height;
  bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

class X11HostApp {
 public:
  /// Opens the display ($DISPLAY) and maps the window; ok() says whether it worked.
  X11HostApp();
  ~X11HostApp();
  X11HostApp(const X11HostApp&) = delete;
  X11HostApp& operator=(const X11HostApp&) = delete;
  bool ok() const { return window_ != 0; }

  /// Lays qvad's windows over this one and starts the library; the badge and both
  /// full-screen ads follow once start-up succeeded.
  void start(const std::string& appKey, const std::string& appSecret);
  /// One turn of the application's loop: its own X events, then qvad's pending work;
  /// waits up to `timeoutMs` for an event when there was nothing to do.
  void step(int timeoutMs);
  bool quitRequested() const { return quit_; }

  Display* display() const { return display_; }
  Window window() const { return window_; }
  const std::shared_ptr<qvad::QvHostWindow>& host() const { return host_; }
  // Its own buttons, in window pixels.
  static constexpr Box kRewardButton{20, 520, 210, 44};
  static constexpr Box kInterstitialButton{250, 520, 210, 44};
  static constexpr Box kCanvas{20, 60, 440, 440};

  int canvasClicks = 0, rewardClicks = 0, interstitialClicks = 0, rewards = 0;
  bool started = false, badgeShown = false, badgeClicked = false;
  bool rewardLoaded = false, rewardShown = false, rewardClosed = false;
  bool interstitialLoaded = false, interstitialShown = false, interstitialClosed = false;
  std::string lastEvent;

 private:
  void said(const std::string& event);
  void draw();
  void click(int x, int y);
  void loadAds();

  Display* display_ = nullptr;
  Window window_ = 0;
  GC gc_ = nullptr;
  Atom deleteWindow_ = 0;
  bool quit_ = false;
  std::shared_ptr<qvad::QvHostWindow> host_;
  std::shared_ptr<qvad::QvRewardVideoAd> reward_;
  std::shared_ptr<qvad::QvRewardVideoAdDelegate> rewardDelegate_;
  std::shared_ptr<qvad::QvInterstitialAd> interstitial_;
  std::shared_ptr<qvad::QvInterstitialAdDelegate> interstitialDelegate_;
};

}  // namespace example
