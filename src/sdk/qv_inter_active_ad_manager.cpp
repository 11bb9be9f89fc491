#include "qvad/qv_inter_active_ad_manager.h"

#include <mutex>

#include "net/ad_model.h"
#include "net/empty_result.h"
#include "net/endpoints.h"
#include "net/request_manager.h"
#include "net/utils.h"
#include "platform/text_encoding.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "sdk/qv_inter_active_ad_view.h"

namespace qvad {
namespace {

// The manager's three fields, under one lock: written by start() on the host's thread
// and by replies on the main thread, read by request building on any thread.
struct ManagerState {
  std::mutex mu;
  std::optional<std::string> appKey;
  std::optional<std::string> appSecret;
  bool startSuccess = false;
};

ManagerState& state() {
  static ManagerState* s = new ManagerState;  // read by workers until exit
  return *s;
}

void setStartSuccess(bool success) {
  std::lock_guard lock(state().mu);
  state().startSuccess = success;
}

}  // namespace

namespace managerInternal {

std::optional<std::string> appKey() {
  std::lock_guard lock(state().mu);
  return state().appKey;
}

std::optional<std::string> appSecret() {
  std::lock_guard lock(state().mu);
  return state().appSecret;
}

bool startSuccess() {
  std::lock_guard lock(state().mu);
  return state().startSuccess;
}

void setCredentials(std::optional<std::string> appKey, std::optional<std::string> appSecret) {
  // Host strings are text: bytes that are not UTF-8 become U+FFFD here, before anything
  // signs with them.
  if (appKey) appKey = makeValidUTF8(*appKey);
  if (appSecret) appSecret = makeValidUTF8(*appSecret);
  std::lock_guard lock(state().mu);
  state().appKey = std::move(appKey);
  state().appSecret = std::move(appSecret);
}

void requestStart(QvStartCompletion complete) {
  // The URL is signed now, on this thread, with the credentials held now.
  const std::string url = Utils::getURL(initEndpoint(), getStartParams());
  auto completion = std::make_shared<QvStartCompletion>(std::move(complete));
  RequestManager<EmptyResult>::request(
      url, std::nullopt, {},
      [completion](EmptyResult) {
        setStartSuccess(true);
        if (*completion) (*completion)(std::nullopt);
      },
      [completion](std::int64_t code, std::string msg) {
        setStartSuccess(false);
        if (*completion) (*completion)(QvError(code, std::move(msg)));
      });
}

std::map<std::string, std::string> getStartParams() {
  return {
      {"idfa", Utils::getMyIDFA()},
      {"longitude", Utils::longitudeText()},
      {"latitude", Utils::latitudeText()},
      {"os", Utils::systemVersionText()},
      {"network", Utils::getCurrentNetwork()},
      {"language", Utils::getCurrentLanguage()},
  };
}

}  // namespace managerInternal

QvInterActiveAdManager& QvInterActiveAdManager::shared() {
  static QvInterActiveAdManager* instance = new QvInterActiveAdManager;
  return *instance;
}

void QvInterActiveAdManager::start(std::string appKey, std::string appSecret, QvStartCompletion complete) {
  managerInternal::setCredentials(std::move(appKey), std::move(appSecret));
  managerInternal::requestStart(std::move(complete));
}

void QvInterActiveAdManager::showAd(double /*scale*/, QvPoint origin, std::shared_ptr<View> customView,
                                    QvAdAction onShowAction, QvAdAction onClickAction, QvAdAction onCloseAction,
                                    QvLoadFailed onLoadFailed) {
  if (!managerInternal::startSuccess()) {
    managerInternal::requestStart();
    return;
  }
  const ParameterMap params{{"deviceId", Utils::getMyIDFA()}, {"network", Utils::getCurrentNetwork()}};
  const std::string url = Utils::getURL(queryEndpoint(), params);
  // A badge whose GIF cannot be shown fails as the query would: the host hears it once.
  QvInterActiveAdView::LoadFailed gifFailed;
  if (onLoadFailed)
    gifFailed = [onLoadFailed](long code, std::string description) {
      onLoadFailed(QvError(code, std::move(description)));
    };
  RequestManager<AdModel>::request(
      url, std::nullopt, {},
      [origin, customView = std::move(customView), onShowAction = std::move(onShowAction),
       onClickAction = std::move(onClickAction), onCloseAction = std::move(onCloseAction),
       gifFailed = std::move(gifFailed)](AdModel ad) mutable {
        // One more turn of the main queue, as the badge is made after the reply's turn.
        dispatchMain([origin, customView = std::move(customView), ad = std::move(ad),
                      onShowAction = std::move(onShowAction), onClickAction = std::move(onClickAction),
                      onCloseAction = std::move(onCloseAction), gifFailed = std::move(gifFailed)]() mutable {
          QvInterActiveAdView::showAdView(Point{origin.x, origin.y}, 1.0, std::move(customView), std::move(ad),
                                          std::move(onClickAction), std::move(onShowAction), std::move(onCloseAction),
                                          std::move(gifFailed));
        });
      },
      [onLoadFailed = std::move(onLoadFailed)](std::int64_t code, std::string msg) {
        if (onLoadFailed) onLoadFailed(QvError(code, std::move(msg)));
      });
}

}  // namespace qvad
