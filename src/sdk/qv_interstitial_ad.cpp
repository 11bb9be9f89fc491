#include "qvad/qv_interstitial_ad.h"

#include "platform/log.h"
#include "sdk/full_screen_ad.h"

namespace qvad {

using fullScreenAd::callDelegate;

struct QvInterstitialAd::State : fullScreenAd::Core<QvInterstitialAd, QvInterstitialAdDelegate> {};

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
  using D = QvInterstitialAdDelegate;
  state_->load(shared_from_this(), fullScreenAd::kInterstitialType, &D::interstitialAdDidLoad,
               &D::interstitialAdDidFailWithError);
}

void QvInterstitialAd::showAd(const std::shared_ptr<ViewController>& viewController, bool animated) {
  // Held for the call: the delegate may release the ad.
  state_->show(shared_from_this(), viewController, animated, &QvInterstitialAdDelegate::interstitialAdBeginShow,
               &QvInterstitialAd::handleEvent);
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
