// Impression and click tracking: fire-and-forget GETs of the ad's tracking URLs. Every
// failed report is remembered in memory on its own (an ad platform gives every badge of
// a campaign the same URL, so two failed reports of one URL are two hits owed) and sent
// again, once per success that follows, while its first failure is less than
// invalidTime old.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qvad {

class TrackerManager : public std::enable_shared_from_this<TrackerManager> {
 public:
  /// The process-wide tracker, made on first use (thread-safe) and never destroyed.
  static TrackerManager& shared();
  /// A tracker of its own (tests, benchmarks). Tasks in flight hold it weakly.
  static std::shared_ptr<TrackerManager> make();

  /// The retry window in seconds: a failed report is retried while its first failure is
  /// younger than this, and dropped after.
  static constexpr double invalidTime = 10800.0;
  /// At most this many failed reports wait for a retry; past it the oldest is dropped
  /// (one console line each).
  static constexpr std::size_t kMaxPendingReports = 1000;
  /// At most this many fetches run at once; the others wait in order of arrival.
  static constexpr std::size_t kMaxFetchesInFlight = 8;

  /// Fetches each URL text with a GET (30 s time-out) and returns at once; texts that
  /// are not URLs are skipped without a trace. Any thread; never blocks on the network.
  void logTracker(const std::vector<std::string>& urls);

  /// One failed report waiting for its retry.
  struct PendingReport {
    std::string url;
    double firstFailure = 0;  // seconds since 1970
    bool retrying = false;    // its retry is queued or in flight
    bool operator==(const PendingReport&) const = default;
  };
  /// Snapshots (tests and diagnostics). Any thread.
  std::vector<PendingReport> pendingReports() const;
  std::size_t fetchesInFlight() const;
  std::size_t fetchesWaiting() const;
  /// The most fetches that ever ran at once.
  std::size_t peakFetchesInFlight() const;

  TrackerManager(const TrackerManager&) = delete;
  TrackerManager& operator=(const TrackerManager&) = delete;

 private:
  struct MakeKey {};

 public:
  explicit TrackerManager(MakeKey) {}

 private:
  // One fetch: a fresh report, or the retry of the pending report `retryOf`.
  struct Fetch {
    std::string url;
    std::optional<std::uint64_t> retryOf;
  };

  // Under mu_: moves waiting fetches into the free slots and returns them to start.
  std::vector<Fetch> takeStartable();
  void start(std::vector<Fetch> fetches);
  void fetchFinished(const Fetch& fetch, bool ok);
  // Under mu_: queues the retry of every pending report not already being retried,
  // dropping those past the window.
  void queueRetries(double now, std::vector<std::string>& expired);

  mutable std::mutex mu_;
  // Failed reports by arrival: ids only grow, so the first entry is the oldest.
  std::map<std::uint64_t, PendingReport> pending_;
  std::uint64_t nextId_ = 1;
  std::deque<Fetch> waiting_;
  std::size_t inFlight_ = 0;
  std::size_t peakInFlight_ = 0;
};

}  // namespace qvad
