#include "platform/gtk/main_queue_glib.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace qvad {

// GLib's locks are invisible to the thread checker, so the queue's own data never
// travels through GLib: it sits behind mu_, and GLib is only told to wake up and ask.
struct GlibQueueSource {
  GSource base;
  GlibMainQueue* queue;

  static gboolean prepare(GSource* source, gint* timeout) {
    *timeout = reinterpret_cast<GlibQueueSource*>(source)->queue->timeoutMillis();
    return *timeout == 0;
  }
  static gboolean check(GSource* source) { return reinterpret_cast<GlibQueueSource*>(source)->queue->ready(); }
  static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    reinterpret_cast<GlibQueueSource*>(source)->queue->dispatchReady();
    return G_SOURCE_CONTINUE;
  }
};

namespace {

GSourceFuncs queueSourceFuncs = {GlibQueueSource::prepare, GlibQueueSource::check, GlibQueueSource::dispatch,
                                 nullptr, nullptr, nullptr};

gboolean quitLoop(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_REMOVE;
}

gboolean keepPolling(gpointer) { return G_SOURCE_CONTINUE; }

std::int64_t toMicros(double seconds) {
  // Clamped so that absurd delays neither overflow nor turn negative.
  constexpr double kMax = 1e15;  // about 31 years
  return static_cast<std::int64_t>(std::llround(std::clamp(seconds, 0.0, kMax) * 1e6));
}

guint toMillis(double seconds) {
  return static_cast<guint>(std::clamp(std::ceil(seconds * 1000.0), 0.0, double(std::numeric_limits<guint>::max())));
}

// Holds the context for the calling thread during a call that iterates it.
class ContextOwner {
 public:
  explicit ContextOwner(GMainContext* context) : context_(context), owned_(g_main_context_acquire(context)) {}
  ~ContextOwner() {
    if (owned_) g_main_context_release(context_);
  }
  bool owned() const { return owned_; }

 private:
  GMainContext* context_;
  bool owned_;
};

}  // namespace

GlibMainQueue::GlibMainQueue(GMainContext* context)
    : context_(g_main_context_ref(context ? context : g_main_context_default())),
      source_(g_source_new(&queueSourceFuncs, sizeof(GlibQueueSource))),
      epochMicros_(g_get_monotonic_time()) {
  reinterpret_cast<GlibQueueSource*>(source_)->queue = this;
  // A task may run the loop itself (runUntil inside a task); the queue's tasks keep running then.
  g_source_set_can_recurse(source_, TRUE);
  g_source_set_name(source_, "qvad main queue");
  g_source_attach(source_, context_);
}

GlibMainQueue::~GlibMainQueue() {
  g_source_destroy(source_);
  g_source_unref(source_);
  g_main_context_unref(context_);
}

void GlibMainQueue::async(Task task) {
  {
    std::lock_guard lock(mu_);
    tasks_.push_back(std::move(task));
  }
  g_main_context_wakeup(context_);
}

TimerId GlibMainQueue::asyncAfter(double seconds, Task task) {
  TimerId id;
  {
    std::lock_guard lock(mu_);
    id = nextId_++;
    timers_.emplace(nowMicros() + toMicros(seconds), PendingTimer{id, std::move(task)});
  }
  g_main_context_wakeup(context_);  // the poll may need a shorter time-out now
  return id;
}

void GlibMainQueue::cancel(TimerId id) {
  Task doomed;
  {
    std::lock_guard lock(mu_);
    doomed = takeTimer(timers_, id);
  }
}

std::int64_t GlibMainQueue::nowMicros() const { return g_get_monotonic_time(); }

double GlibMainQueue::now() const { return static_cast<double>(nowMicros() - epochMicros_) / 1e6; }

bool GlibMainQueue::isMainThread() const { return mainThread_.isCurrent(); }

void GlibMainQueue::bindToCurrentThread() { mainThread_.bindToCurrentThread(); }

bool GlibMainQueue::readyLocked(std::int64_t now) const {
  return !tasks_.empty() || (!timers_.empty() && timers_.begin()->first <= now);
}

int GlibMainQueue::timeoutMillis() {
  std::lock_guard lock(mu_);
  if (!tasks_.empty()) return 0;
  if (timers_.empty()) return -1;
  const std::int64_t wait = timers_.begin()->first - nowMicros();
  if (wait <= 0) return 0;
  // Rounded up, so the poll never wakes just before the timer is due and spins.
  return static_cast<int>(std::min<std::int64_t>((wait + 999) / 1000, std::numeric_limits<int>::max()));
}

bool GlibMainQueue::ready() {
  std::lock_guard lock(mu_);
  return readyLocked(nowMicros());
}

void GlibMainQueue::dispatchReady() {
  // Runs what was ready when the dispatch began; what those tasks post waits for the
  // next iteration, so the toolkit's own events get their turn in between.
  std::unique_lock lock(mu_);
  const std::int64_t now = nowMicros();
  std::size_t budget = tasks_.size();
  while (budget-- > 0 && !tasks_.empty()) {
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    task = nullptr;
    ++ran_;
    lock.lock();
  }
  while (!timers_.empty() && timers_.begin()->first <= now) {
    Task task = std::move(timers_.begin()->second.task);
    timers_.erase(timers_.begin());
    lock.unlock();
    task();
    task = nullptr;
    ++ran_;
    lock.lock();
  }
}

void GlibMainQueue::run() {
  ContextOwner owner(context_);
  if (!owner.owned()) return;
  GMainLoop* loop = g_main_loop_new(context_, FALSE);
  {
    std::lock_guard lock(mu_);
    loops_.push_back(loop);
  }
  g_main_loop_run(loop);
  {
    std::lock_guard lock(mu_);
    loops_.erase(std::find(loops_.begin(), loops_.end(), loop));
  }
  g_main_loop_unref(loop);
}

void GlibMainQueue::stop() {
  GMainLoop* loop = nullptr;
  {
    std::lock_guard lock(mu_);
    if (!loops_.empty()) loop = g_main_loop_ref(loops_.back());
  }
  if (!loop) return;
  g_main_loop_quit(loop);  // outside mu_: it takes the context's lock
  g_main_loop_unref(loop);
}

void GlibMainQueue::runFor(double seconds) {
  ContextOwner owner(context_);
  if (!owner.owned()) return;
  GMainLoop* loop = g_main_loop_new(context_, FALSE);
  GSource* end = g_timeout_source_new(toMillis(seconds));
  g_source_set_callback(end, quitLoop, loop, nullptr);
  g_source_attach(end, context_);
  g_main_loop_run(loop);
  g_source_destroy(end);
  g_source_unref(end);
  g_main_loop_unref(loop);
}

bool GlibMainQueue::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  ContextOwner owner(context_);
  if (!owner.owned()) return done();
  const std::int64_t end = nowMicros() + toMicros(timeoutSeconds);
  // Work on other threads may make done() true without posting: look again every 50 ms.
  GSource* poll = g_timeout_source_new(50);
  g_source_set_callback(poll, keepPolling, nullptr, nullptr);
  g_source_attach(poll, context_);
  bool finished = done();
  while (!finished && nowMicros() < end) {
    g_main_context_iteration(context_, TRUE);
    finished = done();
  }
  g_source_destroy(poll);
  g_source_unref(poll);
  return finished;
}

std::size_t GlibMainQueue::runUntilIdle() {
  ContextOwner owner(context_);
  if (!owner.owned()) return 0;
  const std::size_t before = ran_;
  // Other sources of the context get their turns too, but only the queue's own work
  // decides when to return: an idle source elsewhere must not keep this going forever.
  while (ready()) g_main_context_iteration(context_, FALSE);
  return ran_ - before;
}

bool GlibMainQueue::iterate() {
  ContextOwner owner(context_);
  if (!owner.owned()) return false;
  // Each iteration is one round: the queue's source runs what was ready when it was
  // dispatched. The bound keeps an idle source elsewhere, or a task that re-posts
  // itself, from holding the host's frame.
  bool ran = false;
  for (int round = 0; round < kIterateRounds && g_main_context_pending(context_); ++round) {
    if (g_main_context_iteration(context_, FALSE)) ran = true;
  }
  return ran;
}

bool GlibMainQueue::waitAndIterate() {
  ContextOwner owner(context_);
  if (!owner.owned()) return false;
  // Blocks until any source of the context is ready and dispatches it; what else is
  // pending then runs as in iterate().
  const bool ran = g_main_context_iteration(context_, TRUE);
  return iterate() || ran;
}

std::size_t GlibMainQueue::pendingTasks() const {
  std::lock_guard lock(mu_);
  return tasks_.size();
}

std::size_t GlibMainQueue::pendingTimers() const {
  std::lock_guard lock(mu_);
  return timers_.size();
}

}  // namespace qvad
