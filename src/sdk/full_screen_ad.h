// What the reward video ad and the interstitial ad share: the query for a placement,
// the record of a load, opening the page in the web container, and the error of a page
// that failed to show.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "net/ad_model.h"
#include "net/utils.h"
#include "qvad/qv_error.h"
#include "web/base_wk_web_view_controller.h"

namespace qvad::fullScreenAd {

inline constexpr std::int64_t kWebViewLoadErrorCode = -997;
inline constexpr const char* kWebViewLoadErrorText = "webview load error";
inline constexpr const char* kRewardVideoType = "rewardVideo";
inline constexpr const char* kInterstitialType = "interstitial";

/// The state of one ad object. The placement may be set and read on any thread; the
/// load record only on the main thread.
class AdState {
 public:
  std::optional<std::string> placementId() const;
  void setPlacementId(std::optional<std::string> id);

  std::optional<std::string> loadUrl;  // the page of the last successful load
  std::optional<double> loadTime;      // seconds since 1970 of that load; read by nobody

  /// A successful load: its page (possibly none) replaces the last one.
  void recordLoad(const AdModel& model);
  /// The page to open: the loaded address when it forms a valid URL.
  std::optional<std::string> pageToShow() const;

 private:
  mutable std::mutex mu_;
  std::optional<std::string> placementId_;  // guarded by mu_
};

/// The query of a placement: deviceId, network, placementId ("" when absent), type.
ParameterMap queryParams(const std::optional<std::string>& placementId, const char* type);

/// Sends the signed query; at most one callback runs, later, on the main queue.
void load(const std::optional<std::string>& placementId, const char* type, std::function<void(AdModel)> onLoaded,
          std::function<void(std::int64_t code, std::string msg)> onFailed);

/// Opens `page` over `rootVC` in the web container, events to `onEvent`.
void open(const std::string& page, const std::shared_ptr<ViewController>& rootVC, bool animated, AdCallBack onEvent);

/// The error of a page that failed to show.
QvError webViewLoadError();

/// Calls the delegate member `member` with `args` when the delegate answers it. The
/// member is copied first: a delegate may replace its own members while called.
template <class Delegate, class Member, class... Args>
void callDelegate(const std::shared_ptr<Delegate>& delegate, Member Delegate::*member, Args&&... args) {
  if (!delegate) return;
  if (auto f = (*delegate).*member) f(std::forward<Args>(args)...);
}

/// Load and show of one ad object of type Ad with delegate type Delegate; the ad owns
/// it and hands over the delegate members each step calls, and its own mapping of the
/// page's events, which differ between the formats.
template <class Ad, class Delegate>
class Core {
 public:
  using Call = std::function<void(Ad&)> Delegate::*;
  using FailCall = std::function<void(Ad&, const QvError&)> Delegate::*;

  AdState ad;
  std::weak_ptr<Delegate> delegate;  // main thread

  void load(const std::shared_ptr<Ad>& owner, const char* type, Call didLoad, FailCall didFail) {
    std::weak_ptr<Ad> weak = owner;
    // The core lives as long as its ad: each callback first makes sure the ad still does.
    Core* core = this;
    fullScreenAd::load(
        ad.placementId(), type,
        [weak, core, didLoad](AdModel model) {
          auto self = weak.lock();
          if (!self) return;
          core->ad.recordLoad(model);
          callDelegate(core->delegate.lock(), didLoad, *self);
        },
        [weak, core, didFail](std::int64_t code, std::string msg) {
          auto self = weak.lock();
          if (!self) return;
          callDelegate(core->delegate.lock(), didFail, *self, QvError(code, std::move(msg)));
        });
  }

  using EventHandler = void (Ad::*)(const std::string&);

  void show(const std::shared_ptr<Ad>& owner, const std::shared_ptr<ViewController>& rootVC, bool animated,
            Call beginShow, EventHandler onEvent) {
    auto page = ad.pageToShow();
    if (!page) return;
    callDelegate(delegate.lock(), beginShow, *owner);
    std::weak_ptr<Ad> weak = owner;
    open(*page, rootVC, animated, [weak, onEvent](const std::string& event) {
      if (auto self = weak.lock()) ((*self).*onEvent)(event);
    });
  }
};

}  // namespace qvad::fullScreenAd
