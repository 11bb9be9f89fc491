#include "sdk/full_screen_ad.h"

#include "net/endpoints.h"
#include "net/request_manager.h"
#include "platform/clock.h"
#include "web/web_container_options.h"

namespace qvad::fullScreenAd {

std::optional<std::string> AdState::placementId() const {
  std::lock_guard lock(mu_);
  return placementId_;
}

void AdState::setPlacementId(std::optional<std::string> id) {
  std::lock_guard lock(mu_);
  placementId_ = std::move(id);
}

void AdState::recordLoad(const AdModel& model) {
  loadUrl = model.landingUrl;
  loadTime = Clock::current()->secondsSince1970();
}

std::optional<std::string> AdState::pageToShow() const {
  if (!loadUrl || !isValidURLText(*loadUrl)) return std::nullopt;
  return loadUrl;
}

ParameterMap queryParams(const std::optional<std::string>& placementId, const char* type) {
  return {
      {"deviceId", Utils::getMyIDFA()},
      {"network", Utils::getCurrentNetwork()},
      {"placementId", placementId.value_or("")},
      {"type", type},
  };
}

void load(const std::optional<std::string>& placementId, const char* type, std::function<void(AdModel)> onLoaded,
          std::function<void(std::int64_t code, std::string msg)> onFailed) {
  const std::string url = Utils::getURL(queryEndpoint(), queryParams(placementId, type));
  RequestManager<AdModel>::request(url, std::nullopt, {}, std::move(onLoaded), std::move(onFailed));
}

void open(const std::string& page, const std::shared_ptr<ViewController>& rootVC, bool animated, AdCallBack onEvent) {
  BaseWKWebViewController::ShowWebView(page, rootVC, animated, std::move(onEvent));
}

QvError webViewLoadError() { return QvError(kWebViewLoadErrorCode, kWebViewLoadErrorText); }

}  // namespace qvad::fullScreenAd
