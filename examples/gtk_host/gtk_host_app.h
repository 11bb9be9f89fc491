// An example GTK 3 application hosting qvad: a window of its own with a header bar, a
// text view and two buttons. The floating badge sits over the text view, one button
// shows a reward video (the reward count shows in the header bar) and the other an
// interstitial. It uses only the public headers and the qvad library.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "qvad/host_window.h"
#include "qvad/qv_interstitial_ad.h"
#include "qvad/qv_reward_video_ad.h"

namespace example {

class GtkHostApp {
 public:
  /// Builds and shows the window; call after gtk_init. Nothing of qvad runs yet.
  GtkHostApp();
  ~GtkHostApp();
  GtkHostApp(const GtkHostApp&) = delete;
  GtkHostApp& operator=(const GtkHostApp&) = delete;

  /// Starts the library with the application's key and secret, then lays the floating
  /// badge over the text view and loads both full-screen ads.
  void start(const std::string& appKey, const std::string& appSecret);

  GtkWindow* window() const { return GTK_WINDOW(window_); }
  GtkWidget* textView() const { return textView_; }
  GtkWidget* rewardButton() const { return rewardButton_; }
  GtkWidget* interstitialButton() const { return interstitialButton_; }
  const std::shared_ptr<qvad::QvHostWindow>& host() const { return host_; }

  // What the application has seen, for its status line (and its tests).
  int rewards = 0;           // rewards granted
  int textViewPresses = 0;   // presses the text view got
  int rewardClicks = 0;      // clicks of the reward button
  int interstitialClicks = 0;
  bool started = false, badgeShown = false, badgeClicked = false;
  bool rewardLoaded = false, rewardShown = false, rewardClosed = false;
  bool interstitialLoaded = false, interstitialShown = false, interstitialClosed = false;
  std::string lastEvent;

 private:
  void said(const std::string& event);
  void showBadge();
  void showBadgeOnceLaidOut();
  void loadReward();
  void loadInterstitial();

  GtkWidget* window_ = nullptr;
  GtkWidget* textView_ = nullptr;
  GtkWidget* scroller_ = nullptr;  // the text view's frame, which the badge is placed by
  bool scrollerDrawn_ = false;     // drawn since its last move: its allocation is final
  bool badgeWaiting_ = false;
  guint badgeIdle_ = 0;
  GtkWidget* rewardButton_ = nullptr;
  GtkWidget* interstitialButton_ = nullptr;
  GtkWidget* status_ = nullptr;
  GtkWidget* headerBar_ = nullptr;
  std::shared_ptr<qvad::QvHostWindow> host_;
  std::shared_ptr<qvad::QvRewardVideoAd> reward_;
  std::shared_ptr<qvad::QvRewardVideoAdDelegate> rewardDelegate_;
  std::shared_ptr<qvad::QvInterstitialAd> interstitial_;
  std::shared_ptr<qvad::QvInterstitialAdDelegate> interstitialDelegate_;
};

}  // namespace example
