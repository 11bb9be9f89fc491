#include "qvad/qv_interstitial_ad.h"

#include "platform/log.h"
#include "sdk/full_screen_ad.h"

namespace qvad {

using fullScreenAd::callDelegate;

struct QvInterstitialAd::State {
  fullScreenAd::AdState ad;
  std::weak_ptr<QvInterstitialAdDelegate> delegate;  // main thread
};

QvInterstitialAd::QvInterstitialAd() : state_(std::make_unique<State>()) {}
QvInterstitialAd::~QvInterstitialAd() = default;

std::shared_ptr<QvInterstitialAd> QvInterstitialAd::create() {
  return std::shared_ptr<QvInterstitialAd>(new QvInterstitialAd());
}

std::optional<std::string> QvInterstitialAd::placementId() const { return state_->ad.placementId(); }
void QvInterstitialAd::setPlacementId(std::optional<std::string> id) { state_->ad.setPlacementId(std::move(id)); }
std::shared_ptr<QvInterstitialAdDelegate> QvInterstitialAd::delegate() const { return state_->delegate.lock(); }
void QvInterstitialAd::setDelegate(std::weak_ptr<QvInterstitialAdDelegate> d) { state_->delegate = std::move(d); }

void QvInterstitialAd::loadAD() {
  std::weak_ptr<QvInterstitialAd> weak = weak_from_this();
  fullScreenAd::load(
      placementId(), fullScreenAd::kInterstitialType,
      [weak](AdModel model) {
        auto self = weak.lock();
        if (!self) return;
        self->state_->ad.recordLoad(model);
        callDelegate(self->delegate(), &QvInterstitialAdDelegate::interstitialAdDidLoad, *self);
      },
      [weak](std::int64_t code, std::string msg) {
        auto self = weak.lock();
        if (!self) return;
        callDelegate(self->delegate(), &QvInterstitialAdDelegate::interstitialAdDidFailWithError, *self,
                     QvError(code, std::move(msg)));
      });
}

void QvInterstitialAd::showAd(const std::shared_ptr<ViewController>& viewController, bool animated) {
  auto page = state_->ad.pageToShow();
  if (!page) return;
  auto keep = shared_from_this();  // the delegate may release the ad
  callDelegate(delegate(), &QvInterstitialAdDelegate::interstitialAdBeginShow, *this);
  std::weak_ptr<QvInterstitialAd> weak = keep;
  fullScreenAd::open(*page, viewController, animated, [weak](const std::string& event) {
    if (auto self = weak.lock()) self->handleEvent(event);
  });
}

void QvInterstitialAd::handleEvent(const std::string& event) {
  auto keep = shared_from_this();
  auto d = delegate();
  using D = QvInterstitialAdDelegate;
  if (event == "adWillClose") {
    callDelegate(d, &D::interstitialAdWillClose, *this);
  } else if (event == "adDidClose") {
    callDelegate(d, &D::interstitialAdDidClose, *this);
  } else if (event == "adDidClick") {
    callDelegate(d, &D::interstitialAdDidClick, *this);
  } else if (event == "adDidShow") {
    callDelegate(d, &D::interstitialAdDidShow, *this, std::optional<QvError>());
  } else if (event == "adBeginShow") {
    callDelegate(d, &D::interstitialAdBeginShow, *this);
  } else if (event == "adDidShowFailed") {
    callDelegate(d, &D::interstitialAdDidShow, *this, std::optional<QvError>(fullScreenAd::webViewLoadError()));
  } else {
    logLine(event);
  }
}

}  // namespace qvad
