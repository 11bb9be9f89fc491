#include "net/tracker_manager.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/http_session.h"
#include "platform/log.h"

namespace qvad {

TrackerManager& TrackerManager::shared() {
  // Never destroyed: completions may still arrive while the process exits.
  static std::shared_ptr<TrackerManager>* holder = new std::shared_ptr<TrackerManager>(make());
  return **holder;
}

std::shared_ptr<TrackerManager> TrackerManager::make() { return std::make_shared<TrackerManager>(MakeKey{}); }

void TrackerManager::logTracker(const std::vector<std::string>& urls) {
  std::vector<Fetch> startable;
  {
    std::lock_guard lock(mu_);
    for (const std::string& u : urls) {
      if (HttpSession::isValidURL(u)) waiting_.push_back(Fetch{u, std::nullopt});
    }
    startable = takeStartable();
  }
  start(std::move(startable));
}

std::vector<TrackerManager::Fetch> TrackerManager::takeStartable() {
  std::vector<Fetch> out;
  while (inFlight_ < kMaxFetchesInFlight && !waiting_.empty()) {
    out.push_back(std::move(waiting_.front()));
    waiting_.pop_front();
    ++inFlight_;
  }
  peakInFlight_ = std::max(peakInFlight_, inFlight_);
  return out;
}

void TrackerManager::start(std::vector<Fetch> fetches) {
  // Called without mu_: a session may complete a task before dataTask returns.
  std::weak_ptr<TrackerManager> weak = weak_from_this();
  for (Fetch& f : fetches) {
    HttpRequest request;
    request.method = "GET";
    request.url = f.url;
    request.timeoutSeconds = 30.0;
    request.maxBodyBytes = kMaxAssetDownloadBytes;
    HttpSession::shared()->dataTask(std::move(request), [weak, f = std::move(f)](HttpResponse response) {
      if (auto self = weak.lock()) self->fetchFinished(f, response.statusCode >= 200 && response.statusCode <= 299);
    });
  }
}

void TrackerManager::queueRetries(double now, std::vector<std::string>& expired) {
  for (auto it = pending_.begin(); it != pending_.end();) {
    PendingReport& p = it->second;
    if (p.retrying) {
      ++it;
    } else if (now - p.firstFailure >= invalidTime) {
      expired.push_back(p.url);
      it = pending_.erase(it);
    } else {
      p.retrying = true;
      waiting_.push_back(Fetch{p.url, it->first});
      ++it;
    }
  }
}

void TrackerManager::fetchFinished(const Fetch& fetch, bool ok) {
  std::vector<std::string> expired;
  std::optional<std::string> dropped;
  std::vector<Fetch> startable;
  {
    std::lock_guard lock(mu_);
    --inFlight_;
    const double now = Clock::current()->secondsSince1970();
    if (ok) {
      // Only this report is settled: others of the same URL are hits still owed.
      if (fetch.retryOf) pending_.erase(*fetch.retryOf);
      queueRetries(now, expired);
    } else if (fetch.retryOf) {
      // Back to waiting with its first failure time; gone if the bound dropped it meanwhile.
      auto it = pending_.find(*fetch.retryOf);
      if (it != pending_.end()) it->second.retrying = false;
    } else {
      pending_.emplace(nextId_++, PendingReport{fetch.url, now, false});
      if (pending_.size() > kMaxPendingReports) {
        dropped = pending_.begin()->second.url;
        pending_.erase(pending_.begin());
      }
    }
    startable = takeStartable();
  }
  start(std::move(startable));
  logLine(std::string(ok ? "normalTracker: success ---log " : "normalTracker: failed ---log ") + fetch.url);
  if (dropped) {
    logLine("normalTracker: dropped, over " + std::to_string(kMaxPendingReports) + " pending ---log " + *dropped);
  }
  for (const auto& u : expired) logLine("normalTracker: expired ---log " + u);
}

std::vector<TrackerManager::PendingReport> TrackerManager::pendingReports() const {
  std::lock_guard lock(mu_);
  std::vector<PendingReport> out;
  out.reserve(pending_.size());
  for (const auto& [id, p] : pending_) out.push_back(p);
  return out;
}

std::size_t TrackerManager::fetchesInFlight() const {
  std::lock_guard lock(mu_);
  return inFlight_;
}

std::size_t TrackerManager::fetchesWaiting() const {
  std::lock_guard lock(mu_);
  return waiting_.size();
}

std::size_t TrackerManager::peakFetchesInFlight() const {
  std::lock_guard lock(mu_);
  return peakInFlight_;
}

}  // namespace qvad
