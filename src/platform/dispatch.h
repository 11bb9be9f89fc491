// Background work: the global queue (a small pool of worker threads) and dispatch
// groups. Heavy work (image decoding, disk writes) runs here and posts its result to
// the main queue.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace qvad {

using Task = std::function<void()>;

class GlobalQueue {
 public:
  /// Runs `task` on one of the pool's threads, later. Thread-safe. Tasks may run
  /// concurrently and in any order; the pool is joined at process exit.
  static void async(Task task);
  /// Number of worker threads (two, or one on a single core).
  static std::size_t workerCount();
};

/// Counts outstanding work; `notify` runs its task on the main queue once the count is
/// back to zero (at once, posted, when it already is). Thread-safe.
class DispatchGroup {
 public:
  static std::shared_ptr<DispatchGroup> make();

  void enter();
  /// A leave without a matching enter is ignored.
  void leave();
  void notify(std::function<void()> onMain);

 private:
  DispatchGroup() = default;
  void fireIfDoneLocked(std::unique_lock<std::mutex>& lock);

  std::mutex mu_;
  std::size_t count_ = 0;
  std::vector<std::function<void()>> waiting_;
};

}  // namespace qvad
