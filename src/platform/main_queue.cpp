#include "platform/main_queue.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "platform/service_slot.h"

#if QVAD_BACKEND_GTK
#include "platform/gtk/main_queue_glib.h"
#include "platform/gtk/url_opener_gio.h"
#endif

namespace qvad {
namespace {

std::shared_ptr<MainQueue> makeDefaultMainQueue() {
#if QVAD_BACKEND_GTK
  auto queue = std::make_shared<GlibMainQueue>();
  // The desktop's answer about notifications, asked once the loop runs.
  queue->async(queryDesktopNotificationAuthorization);
  return queue;
#else
  return std::make_shared<HeadlessMainQueue>();
#endif
}

}  // namespace

ServiceSlot<MainQueue>& MainQueue::slot() {
  // Never destroyed: worker threads and the global queue may still post while the
  // process exits, after function-local statics start going away.
  static auto* slot = new ServiceSlot<MainQueue>("main queue", makeDefaultMainQueue);
  return *slot;
}

MainQueue& MainQueue::main() {
  // The slot keeps the queue for the life of the process (overrides aside, which tests
  // make only while no other thread posts), so a plain reference is safe to hand out.
  return *slot().get();
}

HeadlessMainQueue* HeadlessMainQueue::current() { return dynamic_cast<HeadlessMainQueue*>(&MainQueue::main()); }

MainThreadId::MainThreadId() : tid_(static_cast<long>(::getpid())) {}

long MainThreadId::currentThreadId() {
  thread_local const long tid = static_cast<long>(::syscall(SYS_gettid));
  return tid;
}

}  // namespace qvad
