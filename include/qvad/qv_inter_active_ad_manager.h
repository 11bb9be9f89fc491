// The host's entry point: one process-wide manager that starts the library with the
// application key and secret and shows the floating ad.
#pragma once

#include "qvad/export.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "qvad/qv_error.h"

namespace qvad {

class View;

/// Outcome of start-up: no error on success. Runs on the main thread.
using QvStartCompletion = std::function<void(std::optional<QvError> error)>;
/// A badge event (shown, clicked, closed). Runs on the main thread.
using QvAdAction = std::function<void()>;
/// The floating ad query failed. Runs on the main thread.
using QvLoadFailed = std::function<void(std::optional<QvError> error)>;

/// A point in a view's coordinates, in points; y grows downwards.
struct QvPoint {
  double x = 0;
  double y = 0;
};

/// Asks showAd for the default position: near the container's bottom-right corner.
inline constexpr QvPoint kQvDefaultAdOrigin{-1000, -1000};

class QVAD_EXPORT QvInterActiveAdManager {
 public:
  /// The one instance, made on first use (thread-safe) and never destroyed.
  static QvInterActiveAdManager& shared();

  QvInterActiveAdManager(const QvInterActiveAdManager&) = delete;
  QvInterActiveAdManager& operator=(const QvInterActiveAdManager&) = delete;

  /// Stores key and secret (replacing earlier ones; not validated) and sends the init
  /// request. May be called on any thread, any number of times; returns at once.
  /// `complete`, when given, runs later on the main thread with no error when the
  /// server accepted the start, else with the server's or the network's code and text.
  /// It is never called when the reply is not a JSON envelope at all. The secret is
  /// only used to sign requests: it is never sent, logged or stored.
  void start(std::string appKey, std::string appSecret, QvStartCompletion complete = nullptr);

  /// Queries an ad and lays the floating badge (a GIF square with a close button 20
  /// points above it) over `customView`, or over the view of the key window's top
  /// controller when none is given. `origin` is the GIF square's top-left corner;
  /// kQvDefaultAdOrigin picks the default place. `scale` is accepted and ignored: the
  /// badge is always 100 points wide. Any thread; returns at once.
  ///
  /// Before a successful start() it only sends the init request again and calls
  /// nothing: call showAd again once start-up has succeeded. `onShowAction` runs when
  /// the badge is laid out, `onClickAction` after a tap opened the landing page,
  /// `onCloseAction` after the close button removed the badge, `onLoadFailed` with the
  /// code and text when the query failed, or later when the badge's GIF could not be
  /// downloaded or is refused (negative URL-loading codes: the transport's, -1011 for a
  /// status other than 2xx, -1016 for a body that is no drawable GIF; the badge then
  /// stays hidden and nothing is cached); all on the main thread. Each successful call
  /// adds one more badge. The badge belongs to its container view.
  void showAd(double scale, QvPoint origin, std::shared_ptr<View> customView = nullptr,
              QvAdAction onShowAction = nullptr, QvAdAction onClickAction = nullptr,
              QvAdAction onCloseAction = nullptr, QvLoadFailed onLoadFailed = nullptr);

  /// The same two calls under the names the dynamic runtime of other hosts knows.
  void startWithAppKey(std::string appKey, std::string appSecret, QvStartCompletion complete = nullptr) {
    start(std::move(appKey), std::move(appSecret), std::move(complete));
  }
  void showAdWithScale(double scale, QvPoint origin, std::shared_ptr<View> customView, QvAdAction onShowAction,
                       QvAdAction onClickAction, QvAdAction onCloseAction, QvLoadFailed onLoadFailed) {
    showAd(scale, origin, std::move(customView), std::move(onShowAction), std::move(onClickAction),
           std::move(onCloseAction), std::move(onLoadFailed));
  }

 private:
  QvInterActiveAdManager() = default;
};

}  // namespace qvad
