#include "qvad/qv_inter_active_ad_manager.h"

#include "net/utils.h"

namespace qvad {

QvInterActiveAdManager& QvInterActiveAdManager::shared() {
  static QvInterActiveAdManager* instance = new QvInterActiveAdManager;  // read by workers until exit
  return *instance;
}

std::optional<std::string> QvInterActiveAdManager::appKey() const {
  std::lock_guard lock(mu_);
  return appKey_;
}

std::optional<std::string> QvInterActiveAdManager::appSecret() const {
  std::lock_guard lock(mu_);
  return appSecret_;
}

bool QvInterActiveAdManager::startSuccess() const {
  std::lock_guard lock(mu_);
  return startSuccess_;
}

void QvInterActiveAdManager::setStartSuccess(bool success) {
  std::lock_guard lock(mu_);
  startSuccess_ = success;
}

void QvInterActiveAdManager::setCredentials(std::optional<std::string> appKey, std::optional<std::string> appSecret) {
  std::lock_guard lock(mu_);
  appKey_ = std::move(appKey);
  appSecret_ = std::move(appSecret);
}

std::map<std::string, std::string> QvInterActiveAdManager::getStartParams() const {
  return {
      {"idfa", Utils::getMyIDFA()},
      {"longitude", Utils::longitudeText()},
      {"latitude", Utils::latitudeText()},
      {"os", Utils::systemVersionText()},
      {"network", Utils::getCurrentNetwork()},
      {"language", Utils::getCurrentLanguage()},
  };
}

}  // namespace qvad
