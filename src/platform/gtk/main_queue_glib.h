// The main queue of the desktop backend: tasks and timers run on a GLib main context
// (the default one, which GTK and WebKitGTK run on), so they interleave with the
// toolkit's own events whether the host runs the loop itself or through QvMainLoop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/main_queue.h"

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GSource GSource;

namespace qvad {

class GlibMainQueue final : public MainQueue {
 public:
  /// Attaches to `context`, or to the default main context when it is null.
  explicit GlibMainQueue(GMainContext* context = nullptr);
  /// Detaches; tasks and timers still queued are dropped without running.
  ~GlibMainQueue() override;
  GlibMainQueue(const GlibMainQueue&) = delete;
  GlibMainQueue& operator=(const GlibMainQueue&) = delete;

  void async(Task task) override;
  TimerId asyncAfter(double seconds, Task task) override;
  void cancel(TimerId id) override;
  /// Seconds on the monotonic clock since the queue was made.
  double now() const override;
  bool isMainThread() const override;
  void bindToCurrentThread() override;

  // The calls below iterate the context, so the calling thread must be able to own it
  // (no other thread iterating it); otherwise they return without running anything.
  void run() override;
  void stop() override;
  void runFor(double seconds) override;
  bool runUntil(const std::function<bool()>& done, double timeoutSeconds) override;
  std::size_t runUntilIdle() override;
  /// Dispatches what is pending on the context, the toolkit's own events included, in
  /// at most kIterateRounds iterations that never block.
  bool iterate() override;
  bool waitAndIterate() override;

  /// Number of queued tasks and pending timers (for tests).
  std::size_t pendingTasks() const;
  std::size_t pendingTimers() const;

 private:
  friend struct GlibQueueSource;

  // Called by the context on its owning thread through the queue's source.
  bool readyLocked(std::int64_t nowMicros) const;
  int timeoutMillis();
  bool ready();
  void dispatchReady();
  std::int64_t nowMicros() const;

  GMainContext* context_;
  GSource* source_;
  const std::int64_t epochMicros_;
  MainThreadId mainThread_;

  mutable std::mutex mu_;
  std::deque<Task> tasks_;  // guarded by mu_
  std::multimap<std::int64_t, PendingTimer> timers_;  // due (monotonic µs) -> timer; guarded by mu_
  TimerId nextId_ = 1;                         // guarded by mu_
  std::vector<GMainLoop*> loops_;              // running run() calls, innermost last; guarded by mu_
  std::size_t ran_ = 0;                        // tasks and timers run; main thread only
};

}  // namespace qvad
