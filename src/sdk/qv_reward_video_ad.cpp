#include "qvad/qv_reward_video_ad.h"

#include "platform/log.h"
#include "sdk/full_screen_ad.h"

namespace qvad {

using fullScreenAd::callDelegate;

struct QvRewardVideoAd::State : fullScreenAd::Core<QvRewardVideoAd, QvRewardVideoAdDelegate> {};

QvRewardVideoAd::QvRewardVideoAd() : state_(std::make_unique<State>()) {}
QvRewardVideoAd::~QvRewardVideoAd() = default;

std::shared_ptr<QvRewardVideoAd> QvRewardVideoAd::create() {
  return std::shared_ptr<QvRewardVideoAd>(new QvRewardVideoAd());
}

std::shared_ptr<QvRewardVideoAd> QvRewardVideoAd::create(std::string placementId) {
  auto ad = create();
  ad->setPlacementId(std::move(placementId));
  return ad;
}

std::optional<std::string> QvRewardVideoAd::placementId() const { return state_->ad.placementId(); }
void QvRewardVideoAd::setPlacementId(std::optional<std::string> id) { state_->ad.setPlacementId(std::move(id)); }
std::shared_ptr<QvRewardVideoAdDelegate> QvRewardVideoAd::delegate() const { return state_->delegate.lock(); }
void QvRewardVideoAd::setDelegate(std::weak_ptr<QvRewardVideoAdDelegate> d) { state_->delegate = std::move(d); }

void QvRewardVideoAd::loadAD() {
  using D = QvRewardVideoAdDelegate;
  state_->load(shared_from_this(), fullScreenAd::kRewardVideoType, &D::rewardedVideoAdDidLoad,
               &D::rewardedVideoAdDidFailWithError);
}

void QvRewardVideoAd::showAd(const std::shared_ptr<ViewController>& viewController, bool animated) {
  // Held for the call: the delegate may release the ad.
  state_->show(shared_from_this(), viewController, animated, &QvRewardVideoAdDelegate::rewardedVideoAdDeginShow,
               &QvRewardVideoAd::handleEvent);
}

void QvRewardVideoAd::handleEvent(const std::string& event) {
  auto keep = shared_from_this();
  auto d = delegate();
  using D = QvRewardVideoAdDelegate;
  if (event == "adWillClose") {
    callDelegate(d, &D::rewardedVideoAdWillClose, *this);
  } else if (event == "adDidClose") {
    callDelegate(d, &D::rewardedVideoAdDidClose, *this);
  } else if (event == "adDidClick") {
    callDelegate(d, &D::rewardedVideoAdDidClick, *this);
  } else if (event == "rewardedVideoAdComplete") {
    callDelegate(d, &D::rewardedVideoAdComplete, *this);
  } else if (event == "adDidShow") {
    callDelegate(d, &D::rewardedVideoAdDidShow, *this, std::optional<QvError>());
  } else if (event == "adDidShowFailed") {
    callDelegate(d, &D::rewardedVideoAdDidShow, *this, std::optional<QvError>(fullScreenAd::webViewLoadError()));
  } else {
    logLine(event);
  }
}

}  // namespace qvad
