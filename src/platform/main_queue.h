// The main queue: closures that must run on the main thread (views, controllers,
// host callbacks) are posted here. The installed backend decides what "main" is:
// the headless run loop below, or the GLib main context of the desktop backend.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <deque>

namespace qvad {

using Task = std::function<void()>;
using TimerId = std::uint64_t;

template <class T>
class ServiceSlot;

class MainQueue {
 public:
  virtual ~MainQueue() = default;

  /// The installed queue; the build's default backend (headless, or the GLib main
  /// context with the gtk backend) is made on first use unless one was installed.
  static MainQueue& main();
  /// Where the queue is installed: `MainQueue::slot().install(queue)` at start-up.
  static ServiceSlot<MainQueue>& slot();

  /// Runs `task` later on the main thread. Thread-safe; never runs it inline.
  virtual void async(Task task) = 0;
  /// One-shot timer: runs `task` on the main thread after `seconds`. Thread-safe.
  virtual TimerId asyncAfter(double seconds, Task task) = 0;
  /// Cancels a timer that has not fired; unknown or fired ids are ignored.
  virtual void cancel(TimerId id) = 0;
  /// Seconds on the queue's timer clock (virtual in tests).
  virtual double now() const = 0;
  /// Whether the caller is the main thread: the process's first thread unless
  /// bindToCurrentThread() chose another.
  virtual bool isMainThread() const = 0;
  virtual void bindToCurrentThread() = 0;

  // Running the loop, on the main thread. Tasks and timers run inside these calls.

  /// Runs until stop() is called (from any thread or from a task).
  virtual void run() = 0;
  /// Ends the innermost run(); thread-safe.
  virtual void stop() = 0;
  /// Keeps running tasks and timers for `seconds` (virtual seconds on a virtual clock).
  virtual void runFor(double seconds) = 0;
  /// Runs until `done()` is true or `timeoutSeconds` of real time pass; returns done().
  virtual bool runUntil(const std::function<bool()>& done, double timeoutSeconds) = 0;
  /// Runs every ready task and every timer due now, including tasks those post;
  /// returns how many of the queue's tasks and timers ran.
  virtual std::size_t runUntilIdle() = 0;
  /// One turn of a host's own loop: runs what is ready now, in rounds (a round runs the
  /// tasks queued and the timers due when it began; what they post goes to the next
  /// round), at most kIterateRounds of them, and never waits. True when anything ran.
  virtual bool iterate() = 0;
  /// As iterate(), after waiting until something is ready (a task, a timer that is due
  /// and, on the desktop backend, any event of the GLib context). True when anything ran.
  virtual bool waitAndIterate() = 0;

  /// Work that keeps posting more stops a call to iterate() after this many rounds and
  /// continues in the next call, so that it cannot hold a host's frame.
  static constexpr int kIterateRounds = 64;
};

/// Posts to the installed main queue.
inline void dispatchMain(Task task) { MainQueue::main().async(std::move(task)); }

/// Runs `task` at once when called on the main thread, else posts it there.
inline void runOnMain(Task task) {
  if (MainQueue::main().isMainThread()) {
    task();
  } else {
    dispatchMain(std::move(task));
  }
}

/// A one-shot timer of a queue's timer list, keyed by due time; equal due times fire
/// in posting order.
struct PendingTimer {
  TimerId id;
  Task task;
};

/// Removes timer `id` from `timers` and hands back its task (empty when there was no
/// such timer), for the caller to destroy outside its lock: captures may post or cancel.
template <class Due>
Task takeTimer(std::multimap<Due, PendingTimer>& timers, TimerId id) {
  for (auto it = timers.begin(); it != timers.end(); ++it) {
    if (it->second.id == id) {
      Task task = std::move(it->second.task);
      timers.erase(it);
      return task;
    }
  }
  return {};
}

/// Identifies the main thread by kernel thread id, so that the process's first thread
/// is the main one by default whichever thread happens to make the queue.
class MainThreadId {
 public:
  MainThreadId();  // the process's first thread
  void bindToCurrentThread() { tid_.store(currentThreadId(), std::memory_order_relaxed); }
  bool isCurrent() const { return tid_.load(std::memory_order_relaxed) == currentThreadId(); }

 private:
  static long currentThreadId();
  std::atomic<long> tid_;
};

/// Run loop driven by the host or a test. Timers follow either the steady clock or a
/// virtual clock that only moves when runFor() or advance() is called, so tests never sleep.
class HeadlessMainQueue final : public MainQueue {
 public:
  HeadlessMainQueue();

  /// The installed queue when it is a headless one, else nullptr.
  static HeadlessMainQueue* current();

  void async(Task task) override;
  TimerId asyncAfter(double seconds, Task task) override;
  void cancel(TimerId id) override;
  double now() const override;
  bool isMainThread() const override;
  void bindToCurrentThread() override;

  /// Switches timers to a virtual clock starting at `start` seconds, or back to real time.
  void useVirtualClock(bool enabled, double start = 0);

  std::size_t runUntilIdle() override;
  /// Timers count as due against the clock in use: a virtual clock does not move.
  bool iterate() override;
  /// On a virtual clock only tasks, or timers already due, end the wait.
  bool waitAndIterate() override;
  /// Virtual clock: moves time forward in timer steps, running what becomes due.
  /// Real clock: keeps running tasks and timers for `seconds` of wall time.
  void runFor(double seconds) override;
  /// Sleeps while nothing is ready, so worker threads can post meanwhile.
  bool runUntil(const std::function<bool()>& done, double timeoutSeconds) override;
  void run() override;
  void stop() override;
  /// Number of queued tasks and pending timers (for tests).
  std::size_t pendingTasks() const;
  std::size_t pendingTimers() const;

 private:
  bool runOne(std::unique_lock<std::mutex>& lock);
  bool runRound(std::unique_lock<std::mutex>& lock);
  double nowLocked() const;

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Task> tasks_;
  std::multimap<double, PendingTimer> timers_;  // due time -> timer; equal times fire in posting order
  TimerId nextId_ = 1;
  MainThreadId mainThread_;
  bool virtualClock_ = false;
  double virtualNow_ = 0;
  bool stopped_ = false;
  std::chrono::steady_clock::time_point epoch_;
};

}  // namespace qvad
