#include "gtk_host_app.h"

#include <cstdio>
#include <optional>

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

constexpr const char* kNotes =
    "A GTK application's own text view.\n\n"
    "Type here: the floating badge lies over this view without taking its input.\n"
    "The buttons below show a reward video and an interstitial over the whole window.";

}  // namespace

GtkHostApp::GtkHostApp() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window_), 480, 640);
  headerBar_ = gtk_header_bar_new();
  gtk_header_bar_set_title(GTK_HEADER_BAR(headerBar_), "GTK host");
  gtk_header_bar_set_subtitle(GTK_HEADER_BAR(headerBar_), "rewards: 0");
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(headerBar_), TRUE);
  gtk_window_set_titlebar(GTK_WINDOW(window_), headerBar_);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(box), 12);
  GtkWidget* scroller = scroller_ = gtk_scrolled_window_new(nullptr, nullptr);
  textView_ = gtk_text_view_new();
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(textView_), GTK_WRAP_WORD);
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(textView_)), kNotes, -1);
  gtk_container_add(GTK_CONTAINER(scroller), textView_);
  gtk_box_pack_start(GTK_BOX(box), scroller, TRUE, TRUE, 0);
  g_signal_connect_after(scroller, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer self) -> gboolean {
                           auto* app = static_cast<GtkHostApp*>(self);
                           app->scrollerDrawn_ = true;
                           if (app->badgeWaiting_ && !app->badgeIdle_) {
                             // Not from inside a draw: the badge's view is laid out on the next turn.
                             app->badgeIdle_ = g_idle_add(+[](gpointer self) -> gboolean {
                               auto* app = static_cast<GtkHostApp*>(self);
                               app->badgeIdle_ = 0;
                               app->showBadgeOnceLaidOut();
                               return G_SOURCE_REMOVE;
                             }, app);
                           }
                           return FALSE;
                         }),
                         this);
  g_signal_connect(textView_, "button-press-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                     ++static_cast<GtkHostApp*>(self)->textViewPresses;
                     return FALSE;  // the text view handles it as usual
                   }),
                   this);

  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  rewardButton_ = gtk_button_new_with_label("Reward video");
  interstitialButton_ = gtk_button_new_with_label("Interstitial");
  gtk_box_pack_start(GTK_BOX(buttons), rewardButton_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(buttons), interstitialButton_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);
  status_ = gtk_label_new("starting…");
  gtk_label_set_xalign(GTK_LABEL(status_), 0);
  gtk_box_pack_start(GTK_BOX(box), status_, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);

  g_signal_connect(rewardButton_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                     auto* app = static_cast<GtkHostApp*>(self);
                     ++app->rewardClicks;
                     // The host's window is the screen the ad covers.
                     if (app->reward_ && app->rewardLoaded) app->reward_->showAd(app->host_->viewController(), true);
                   }),
                   this);
  g_signal_connect(interstitialButton_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                     auto* app = static_cast<GtkHostApp*>(self);
                     ++app->interstitialClicks;
                     if (app->interstitial_ && app->interstitialLoaded)
                       app->interstitial_->showAd(app->host_->viewController(), true);
                   }),
                   this);
  gtk_widget_show_all(window_);
}

GtkHostApp::~GtkHostApp() {
  if (badgeIdle_) g_source_remove(badgeIdle_);
  host_.reset();  // detaches: the window gets its own widgets back
  gtk_widget_destroy(window_);
}

void GtkHostApp::said(const std::string& event) {
  lastEvent = event;
  std::printf("%s\n", event.c_str());
  std::fflush(stdout);
  gtk_label_set_text(GTK_LABEL(status_), event.c_str());
}

void GtkHostApp::start(const std::string& appKey, const std::string& appSecret) {
  // The library's layers go over this window; the ads show over it.
  host_ = qvad::QvHostWindow::attach(GTK_WINDOW(window_));
  scrollerDrawn_ = false;  // the content moved into the library's overlay and is laid out anew
  qvad::QvInterActiveAdManager::shared().start(appKey, appSecret, [this](std::optional<qvad::QvError> error) {
    if (error) {
      said("start failed: " + describe(error));
      return;
    }
    started = true;
    said("started");
    showBadgeOnceLaidOut();
    loadReward();
    loadInterstitial();
  });
}

// The badge goes where the text view is drawn, so not before the window has been laid out:
// a start that completes before the first frame would place it by a stale allocation.
void GtkHostApp::showBadgeOnceLaidOut() {
  badgeWaiting_ = !scrollerDrawn_;
  if (!badgeWaiting_) showBadge();
}

void GtkHostApp::showBadge() {
  // The badge's top-left corner, in the host view's points: near the text view's
  // bottom-right corner. The host view covers the window's content area.
  GtkAllocation text;
  gtk_widget_get_allocation(scroller_, &text);
  int x = 0, y = 0;
  gtk_widget_translate_coordinates(scroller_, gtk_bin_get_child(GTK_BIN(window_)), 0, 0, &x, &y);
  const qvad::QvPoint origin{static_cast<double>(x + text.width - 116), static_cast<double>(y + text.height - 116)};
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
      [this](std::optional<qvad::QvError> error) { said("badge failed: " + describe(error)); });
}

void GtkHostApp::loadReward() {
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
    gtk_header_bar_set_subtitle(GTK_HEADER_BAR(headerBar_), ("rewards: " + std::to_string(rewards)).c_str());
    said("reward granted");
  };
  rewardDelegate_->rewardedVideoAdDidClose = [this](qvad::QvRewardVideoAd&) {
    rewardClosed = true;
    said("reward video closed");
  };
  rewardDelegate_->rewardedVideoAdDidFailWithError = [this](qvad::QvRewardVideoAd&, const qvad::QvError& e) {
    said("reward video failed: " + describe(e));
  };
  reward_ = qvad::QvRewardVideoAd::create("reward-1");
  reward_->setDelegate(rewardDelegate_);
  reward_->loadAD();
}

void GtkHostApp::loadInterstitial() {
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
  interstitialDelegate_->interstitialAdDidFailWithError = [this](qvad::QvInterstitialAd&, const qvad::QvError& e) {
    said("interstitial failed: " + describe(e));
  };
  interstitial_ = qvad::QvInterstitialAd::create();
  interstitial_->setPlacementId("interstitial-1");
  interstitial_->setDelegate(interstitialDelegate_);
  interstitial_->loadAD();
}

}  // namespace example
