// A reward video ad: one placement whose ad page opens full screen in the library's
// web container. The host makes the ad, sets a delegate, loads, and later shows.
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

class QvRewardVideoAd;
class ViewController;

/// The host's side of a reward video ad. Every member is optional: an empty one is a
/// call the delegate does not answer, and is skipped.
struct QvRewardVideoAdDelegate {
  /// A load succeeded.
  std::function<void(QvRewardVideoAd& ad)> rewardedVideoAdDidLoad;
  /// A load failed: the network's or the ad platform's code and text.
  std::function<void(QvRewardVideoAd& ad, const QvError& error)> rewardedVideoAdDidFailWithError;
  /// The page is about to leave the screen.
  std::function<void(QvRewardVideoAd& ad)> rewardedVideoAdWillClose;
  /// The page has left the screen (not called when the host's stack popped it).
  std::function<void(QvRewardVideoAd& ad)> rewardedVideoAdDidClose;
  /// showAd is about to open the page. (The name is the library's own spelling.)
  std::function<void(QvRewardVideoAd& ad)> rewardedVideoAdDeginShow;
  /// The page showed (no error), or failed to load: code -997 "webview load error".
  std::function<void(QvRewardVideoAd& ad, const std::optional<QvError>& error)> rewardedVideoAdDidShow;
  /// The user clicked the ad.
  std::function<void(QvRewardVideoAd& ad)> rewardedVideoAdDidClick;
  /// The user earned the reward (the page may report it more than once).
  std::function<void(QvRewardVideoAd& ad)> rewardedVideoAdComplete;
};

class QVAD_EXPORT QvRewardVideoAd : public std::enable_shared_from_this<QvRewardVideoAd> {
 public:
  static std::shared_ptr<QvRewardVideoAd> create();
  static std::shared_ptr<QvRewardVideoAd> create(std::string placementId);
  ~QvRewardVideoAd();
  QvRewardVideoAd(const QvRewardVideoAd&) = delete;
  QvRewardVideoAd& operator=(const QvRewardVideoAd&) = delete;

  std::optional<std::string> placementId() const;
  void setPlacementId(std::optional<std::string> placementId);
  std::shared_ptr<QvRewardVideoAdDelegate> delegate() const;
  void setDelegate(std::weak_ptr<QvRewardVideoAdDelegate> delegate);

  /// Queries the ad platform for an ad of this placement (with or without a prior
  /// start); the delegate hears rewardedVideoAdDidLoad or ...DidFailWithError. A reply
  /// that is not a JSON envelope calls nothing. Returns at once.
  void loadAD();
  /// Opens the loaded ad page over `viewController`. Without a loaded page address
  /// nothing happens and nothing is called; each call opens the page again.
  void showAd(const std::shared_ptr<ViewController>& viewController, bool animated);
  void showAdFrom(const std::shared_ptr<ViewController>& viewController, bool animated) {
    showAd(viewController, animated);
  }

 private:
  struct State;
  QvRewardVideoAd();
  void handleEvent(const std::string& event);

  std::unique_ptr<State> state_;
};

}  // namespace qvad
