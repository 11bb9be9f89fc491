#include <algorithm>

#include "platform/main_queue.h"

namespace qvad {
HeadlessMainQueue::HeadlessMainQueue()
    : epoch_(std::chrono::steady_clock::now()) {}

void HeadlessMainQueue::async(Task task) {
  {
    std::lock_guard lock(mu_);
    tasks_.push_back(std::move(task));
  }
  cv_.notify_all();
}

TimerId HeadlessMainQueue::asyncAfter(double seconds, Task task) {
  TimerId id;
  {
    std::lock_guard lock(mu_);
    id = nextId_++;
    double due = nowLocked() + std::max(0.0, seconds);
    timers_.emplace(due, PendingTimer{id, std::move(task)});
  }
  cv_.notify_all();
  return id;
}

void HeadlessMainQueue::cancel(TimerId id) {
  Task doomed;
  {
    std::lock_guard lock(mu_);
    doomed = takeTimer(timers_, id);
  }
}

double HeadlessMainQueue::nowLocked() const {
  if (virtualClock_) return virtualNow_;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch_).count();
}

double HeadlessMainQueue::now() const {
  std::lock_guard lock(mu_);
  return nowLocked();
}

bool HeadlessMainQueue::isMainThread() const { return mainThread_.isCurrent(); }

void HeadlessMainQueue::bindToCurrentThread() { mainThread_.bindToCurrentThread(); }

void HeadlessMainQueue::useVirtualClock(bool enabled, double start) {
  std::lock_guard lock(mu_);
  if (enabled) {
    virtualNow_ = start;
  } else {
    // Keep pending timers in the future relative to real time.
    epoch_ = std::chrono::steady_clock::now() - std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                     std::chrono::duration<double>(virtualNow_));
  }
  virtualClock_ = enabled;
}

// Runs one ready task or due timer with the lock released; false when none is ready.
bool HeadlessMainQueue::runOne(std::unique_lock<std::mutex>& lock) {
  Task task;
  if (!tasks_.empty()) {
    task = std::move(tasks_.front());
    tasks_.pop_front();
  } else if (!timers_.empty() && timers_.begin()->first <= nowLocked()) {
    task = std::move(timers_.begin()->second.task);
    timers_.erase(timers_.begin());
  } else {
    return false;
  }
  lock.unlock();
  task();
  task = nullptr;
  lock.lock();
  return true;
}

// Runs the tasks queued and the timers due when the round began, with the lock released
// around each; false when none was ready. Timers are told apart by id, since one set
// with no delay during the round is due at once on a virtual clock.
bool HeadlessMainQueue::runRound(std::unique_lock<std::mutex>& lock) {
  std::size_t queued = tasks_.size();
  const double now = nowLocked();
  const TimerId firstLater = nextId_;
  bool ran = false;
  auto runUnlocked = [&](Task task) {
    lock.unlock();
    task();
    task = nullptr;
    lock.lock();
    ran = true;
  };
  // Only this thread takes tasks, and posts go to the back: the first `queued` are this round's.
  while (queued-- > 0 && !tasks_.empty()) {
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    runUnlocked(std::move(task));
  }
  for (;;) {
    const auto end = timers_.upper_bound(now);
    const auto due = std::find_if(timers_.begin(), end, [&](const auto& t) { return t.second.id < firstLater; });
    if (due == end) break;
    Task task = std::move(due->second.task);
    timers_.erase(due);
    runUnlocked(std::move(task));
  }
  return ran;
}

bool HeadlessMainQueue::iterate() {
  std::unique_lock lock(mu_);
  bool ran = false;
  for (int round = 0; round < kIterateRounds && runRound(lock); ++round) ran = true;
  return ran;
}

bool HeadlessMainQueue::waitAndIterate() {
  {
    std::unique_lock lock(mu_);
    for (;;) {
      if (!tasks_.empty()) break;
      if (!timers_.empty() && timers_.begin()->first <= nowLocked()) break;
      if (!virtualClock_ && !timers_.empty()) {
        auto due = epoch_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(timers_.begin()->first));
        cv_.wait_until(lock, due, [&] { return !tasks_.empty(); });
      } else {
        cv_.wait(lock, [&] { return !tasks_.empty() || (!timers_.empty() && !virtualClock_); });
      }
    }
  }
  return iterate();
}

std::size_t HeadlessMainQueue::runUntilIdle() {
  std::size_t n = 0;
  std::unique_lock lock(mu_);
  while (runOne(lock)) ++n;
  return n;
}

void HeadlessMainQueue::runFor(double seconds) {
  std::unique_lock lock(mu_);
  if (virtualClock_) {
    const double end = virtualNow_ + std::max(0.0, seconds);
    for (;;) {
      while (runOne(lock)) {
      }
      if (timers_.empty() || timers_.begin()->first > end) break;
      virtualNow_ = std::max(virtualNow_, timers_.begin()->first);
    }
    virtualNow_ = end;
    while (runOne(lock)) {
    }
    return;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                          std::chrono::duration<double>(seconds));
  while (std::chrono::steady_clock::now() < end) {
    while (runOne(lock)) {
    }
    auto wake = end;
    if (!timers_.empty()) {
      auto due = epoch_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(timers_.begin()->first));
      wake = std::min(wake, due);
    }
    cv_.wait_until(lock, wake, [&] { return !tasks_.empty(); });
  }
}

bool HeadlessMainQueue::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                          std::chrono::duration<double>(timeoutSeconds));
  std::unique_lock lock(mu_);
  for (;;) {
    while (runOne(lock)) {
      lock.unlock();
      bool finished = done();
      lock.lock();
      if (finished) return true;
    }
    lock.unlock();
    bool finished = done();
    lock.lock();
    if (finished) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    auto wake = std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    if (!virtualClock_ && !timers_.empty()) {
      auto due = epoch_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(timers_.begin()->first));
      wake = std::min(wake, due);
    }
    cv_.wait_until(lock, wake, [&] { return !tasks_.empty(); });
  }
}

void HeadlessMainQueue::run() {
  std::unique_lock lock(mu_);
  stopped_ = false;
  while (!stopped_) {
    if (runOne(lock)) continue;
    if (!virtualClock_ && !timers_.empty()) {
      auto due = epoch_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(timers_.begin()->first));
      cv_.wait_until(lock, due, [&] { return stopped_ || !tasks_.empty(); });
    } else {
      cv_.wait(lock, [&] { return stopped_ || !tasks_.empty() || (!timers_.empty() && !virtualClock_); });
    }
  }
}

void HeadlessMainQueue::stop() {
  {
    std::lock_guard lock(mu_);
    stopped_ = true;
  }
  cv_.notify_all();
}

std::size_t HeadlessMainQueue::pendingTasks() const {
  std::lock_guard lock(mu_);
  return tasks_.size();
}

std::size_t HeadlessMainQueue::pendingTimers() const {
  std::lock_guard lock(mu_);
  return timers_.size();
}

}  // namespace qvad
