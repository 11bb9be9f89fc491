// An interstitial ad: one placement whose ad page opens full screen in the library's
// web container. The host makes the ad, sets its placement and a delegate, loads, and
// later shows.
//
// Threads: loadAD may be called on any thread; showAd on the main thread (the one that
// runs the main loop). Every delegate call runs on the main thread.
// Ownership: the host owns the ad (a shared_ptr) and must keep it while it waits for
// callbacks; once it is released, later replies and page events are dropped. The ad
// holds its delegate weakly.
#pragma once

#include "qvad/export.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "qvad/qv_error.h"

namespace qvad {

class QvInterstitialAd;
class ViewController;

/// The host's side of an interstitial ad. Every member is optional: an empty one is a
/// call the delegate does not answer, and is skipped.
struct QvInterstitialAdDelegate {
  /// A load succeeded.
  std::function<void(QvInterstitialAd& ad)> interstitialAdDidLoad;
  /// A load failed: the network's or the ad platform's code and text.
  std::function<void(QvInterstitialAd& ad, const QvError& error)> interstitialAdDidFailWithError;
  /// showAd is about to open the page; also when the page reports that it begins.
  std::function<void(QvInterstitialAd& ad)> interstitialAdBeginShow;
  /// The page showed (no error), or failed to load: code -997 "webview load error".
  std::function<void(QvInterstitialAd& ad, const std::optional<QvError>& error)> interstitialAdDidShow;
  /// The page has left the screen (not called when the host's stack popped it).
  std::function<void(QvInterstitialAd& ad)> interstitialAdDidClose;
  /// The page is about to leave the screen.
  std::function<void(QvInterstitialAd& ad)> interstitialAdWillClose;
  /// The user clicked the ad.
  std::function<void(QvInterstitialAd& ad)> interstitialAdDidClick;
};

class QVAD_EXPORT QvInterstitialAd : public std::enable_shared_from_this<QvInterstitialAd> {
 public:
  static std::shared_ptr<QvInterstitialAd> create();
  ~QvInterstitialAd();
  QvInterstitialAd(const QvInterstitialAd&) = delete;
  QvInterstitialAd& operator=(const QvInterstitialAd&) = delete;

  std::optional<std::string> placementId() const;
  void setPlacementId(std::optional<std::string> placementId);
  std::shared_ptr<QvInterstitialAdDelegate> delegate() const;
  void setDelegate(std::weak_ptr<QvInterstitialAdDelegate> delegate);

  /// Queries the ad platform for an ad of this placement ("placementId" empty when
  /// none is set); the delegate hears interstitialAdDidLoad or ...DidFailWithError. A
  /// reply that is not a JSON envelope calls nothing. Returns at once.
  void loadAD();
  /// Opens the loaded ad page over `viewController`. Without a loaded page address
  /// nothing happens and nothing is called; each call opens the page again.
  void showAd(const std::shared_ptr<ViewController>& viewController, bool animated);
  void showAdFrom(const std::shared_ptr<ViewController>& viewController, bool animated) {
    showAd(viewController, animated);
  }

 private:
  struct State;
  QvInterstitialAd();
  void handleEvent(const std::string& event);

  std::unique_ptr<State> state_;
};

}  // namespace qvad
