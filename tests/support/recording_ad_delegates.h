// Delegates of the two full-screen formats that answer every call by noting its name
// ("didLoad", "didFail <code> <text>", "didShow", "didShow -997 webview load error", ...).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qvad/qv_interstitial_ad.h"
#include "qvad/qv_reward_video_ad.h"

namespace qvad::testing {

using CallLog = std::shared_ptr<std::vector<std::string>>;

inline std::string errorText(const QvError& e) {
  return std::to_string(e.errorCode.value_or(0)) + " " + e.errorDescription.value_or("");
}

inline std::shared_ptr<QvRewardVideoAdDelegate> recordingRewardDelegate(CallLog calls) {
  auto d = std::make_shared<QvRewardVideoAdDelegate>();
  auto note = [calls](std::string s) { calls->push_back(std::move(s)); };
  d->rewardedVideoAdDidLoad = [note](QvRewardVideoAd&) { note("didLoad"); };
  d->rewardedVideoAdDidFailWithError = [note](QvRewardVideoAd&, const QvError& e) { note("didFail " + errorText(e)); };
  d->rewardedVideoAdWillClose = [note](QvRewardVideoAd&) { note("willClose"); };
  d->rewardedVideoAdDidClose = [note](QvRewardVideoAd&) { note("didClose"); };
  d->rewardedVideoAdDeginShow = [note](QvRewardVideoAd&) { note("deginShow"); };
  d->rewardedVideoAdDidShow = [note](QvRewardVideoAd&, const std::optional<QvError>& e) {
    note(e ? "didShow " + errorText(*e) : "didShow");
  };
  d->rewardedVideoAdDidClick = [note](QvRewardVideoAd&) { note("didClick"); };
  d->rewardedVideoAdComplete = [note](QvRewardVideoAd&) { note("complete"); };
  return d;
}

inline std::shared_ptr<QvInterstitialAdDelegate> recordingInterstitialDelegate(CallLog calls) {
  auto d = std::make_shared<QvInterstitialAdDelegate>();
  auto note = [calls](std::string s) { calls->push_back(std::move(s)); };
  d->interstitialAdDidLoad = [note](QvInterstitialAd&) { note("didLoad"); };
  d->interstitialAdDidFailWithError = [note](QvInterstitialAd&, const QvError& e) { note("didFail " + errorText(e)); };
  d->interstitialAdBeginShow = [note](QvInterstitialAd&) { note("beginShow"); };
  d->interstitialAdDidShow = [note](QvInterstitialAd&, const std::optional<QvError>& e) {
    note(e ? "didShow " + errorText(*e) : "didShow");
  };
  d->interstitialAdDidClose = [note](QvInterstitialAd&) { note("didClose"); };
  d->interstitialAdWillClose = [note](QvInterstitialAd&) { note("willClose"); };
  d->interstitialAdDidClick = [note](QvInterstitialAd&) { note("didClick"); };
  return d;
}

}  // namespace qvad::testing
