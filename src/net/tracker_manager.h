// Impression and click tracking: fire-and-forget GETs of the ad's tracking URLs, with
// failed URLs remembered in memory and fetched again on the back of the next success
// while their first failure is less than invalidTime old.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qvad {

class TrackerManager : public std::enable_shared_from_this<TrackerManager> {
 public:
  /// The process-wide tracker, made on first use (thread-safe) and never destroyed.
  static TrackerManager& shared();
  /// A tracker of its own (tests, benchmarks). Tasks in flight hold it weakly.
  static std::shared_ptr<TrackerManager> make();

  /// The retry window in seconds: a failed URL is retried while its first failure is
  /// younger than this.
  static constexpr double invalidTime = 10800.0;
  /// Tracking replies are tiny; a body past this cap is cut off (the hit still counts).
  static constexpr std::size_t kMaxTrackingBodyBytes = 8u * 1024 * 1024;

  /// Fetches each URL text with a GET (30 s time-out) and returns at once; texts that
  /// are not URLs are skipped without a trace. Any thread. After the batch, every
  /// remembered URL still inside the window is queued for the next success; the queue
  /// holds each URL once.
  void logTracker(const std::vector<std::string>& urls);

  /// Snapshots of the two collections (tests and diagnostics). Any thread.
  std::map<std::string, double> failUrlsDict() const;
  std::vector<std::string> failUrls() const;

  TrackerManager(const TrackerManager&) = delete;
  TrackerManager& operator=(const TrackerManager&) = delete;

 private:
  struct MakeKey {};

 public:
  explicit TrackerManager(MakeKey) {}

 private:
  void startBatch(const std::vector<std::string>& urls, bool retry);
  void taskFinished(const std::string& url, bool ok, bool retry);
  void requeue();

  mutable std::mutex mu_;
  // URL -> seconds since 1970 of its first failure; an entry leaves only on success.
  std::map<std::string, double> failUrlsDict_;
  // The retry queue, sent by the next success; each URL at most once.
  std::vector<std::string> failUrls_;
  // Retries in flight per URL: such a URL is not queued again until its retry ended,
  // so two successes in a row cannot report it twice.
  std::map<std::string, int> retrying_;
};

}  // namespace qvad
