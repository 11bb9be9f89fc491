#include "qvad/qv_inter_active_ad_manager.h"

#include "net/empty_result.h"
#include "net/endpoints.h"
#include "net/request_manager.h"
#include "net/utils.h"
#include "platform/text_encoding.h"

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
  // Host strings are text: bytes that are not UTF-8 become U+FFFD here, before anything
  // signs with them.
  if (appKey) appKey = makeValidUTF8(*appKey);
  if (appSecret) appSecret = makeValidUTF8(*appSecret);
  std::lock_guard lock(mu_);
  appKey_ = std::move(appKey);
  appSecret_ = std::move(appSecret);
}

void QvInterActiveAdManager::start(std::string appKey, std::string appSecret, QvStartCompletion complete) {
  setCredentials(std::move(appKey), std::move(appSecret));
  requestStart(std::move(complete));
}

void QvInterActiveAdManager::requestStart(QvStartCompletion complete) {
  // The URL is signed now, on this thread, with the credentials held now.
  const std::string url = Utils::getURL(initEndpoint(), getStartParams());
  auto completion = std::make_shared<QvStartCompletion>(std::move(complete));
  RequestManager<EmptyResult>::request(
      url, std::nullopt, {},
      [this, completion](EmptyResult) {
        setStartSuccess(true);
        if (*completion) (*completion)(std::nullopt);
      },
      [this, completion](std::int64_t code, std::string msg) {
        setStartSuccess(false);
        if (*completion) (*completion)(QvError(code, std::move(msg)));
      });
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
