#include "net/tracker_manager.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/http_session.h"
#include "platform/log.h"

namespace qvad {

TrackerManager& TrackerManager::shared() {
  // Never destroyed: completions may still arrive while the process exits.
  static std::shared_ptr<TrackerManager>* holder = new std::shared_ptr<TrackerManager>(make());
  return **holder;
}

std::shared_ptr<TrackerManager> TrackerManager::make() { return std::make_shared<TrackerManager>(MakeKey{}); }

void TrackerManager::logTracker(const std::vector<std::string>& urls) { startBatch(urls, false); }

void TrackerManager::startBatch(const std::vector<std::string>& urls, bool retry) {
  if (urls.empty()) return;
  auto group = DispatchGroup::make();
  std::weak_ptr<TrackerManager> weak = weak_from_this();
  for (const std::string& u : urls) {
    if (!HttpSession::isValidURL(u)) continue;
    group->enter();
    HttpRequest request;
    request.method = "GET";
    request.url = u;
    request.timeoutSeconds = 30.0;
    request.maxBodyBytes = kMaxTrackingBodyBytes;
    HttpSession::shared()->dataTask(std::move(request), [weak, group, u, retry](HttpResponse response) {
      if (auto self = weak.lock()) {
        const bool ok = response.statusCode >= 200 && response.statusCode <= 299;
        self->taskFinished(u, ok, retry);
      }
      group->leave();
    });
  }
  group->notify([weak] {
    if (auto self = weak.lock()) self->requeue();
  });
}

void TrackerManager::taskFinished(const std::string& u, bool ok, bool retry) {
  std::vector<std::string> piggyBack;
  {
    std::lock_guard lock(mu_);
    if (retry) {
      auto it = retrying_.find(u);
      if (it != retrying_.end() && --it->second <= 0) retrying_.erase(it);
    }
    if (ok) {
      failUrlsDict_.erase(u);
      // The queue is read and emptied under the same hold; the URL that just went
      // through is not sent again.
      std::erase(failUrls_, u);
      piggyBack.swap(failUrls_);
      for (const auto& p : piggyBack) ++retrying_[p];
    } else {
      failUrlsDict_.try_emplace(u, Clock::current()->secondsSince1970());
    }
  }
  if (ok) {
    startBatch(piggyBack, true);
    logLine("normalTracker: success ---log " + u);
  } else {
    logLine("normalTracker: failed ---log " + u);
  }
}

void TrackerManager::requeue() {
  std::lock_guard lock(mu_);
  for (const auto& [u, firstFailure] : failUrlsDict_) {
    const double now = Clock::current()->secondsSince1970();
    if (now - firstFailure >= invalidTime) continue;
    if (retrying_.count(u)) continue;
    if (std::find(failUrls_.begin(), failUrls_.end(), u) != failUrls_.end()) continue;
    failUrls_.push_back(u);
  }
}

std::map<std::string, double> TrackerManager::failUrlsDict() const {
  std::lock_guard lock(mu_);
  return failUrlsDict_;
}

std::vector<std::string> TrackerManager::failUrls() const {
  std::lock_guard lock(mu_);
  return failUrls_;
}

}  // namespace qvad
