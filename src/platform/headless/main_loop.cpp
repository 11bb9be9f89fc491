#include "qvad/main_loop.h"

#include "platform/log.h"
#include "platform/main_queue.h"

namespace qvad {
namespace {

// Another backend owns the loop (a desktop toolkit): these calls are not for it.
HeadlessMainQueue* headless() {
  auto* q = HeadlessMainQueue::current();
  if (!q) logLine("QvMainLoop: the installed main queue is not the headless one; nothing runs");
  return q;
}

}  // namespace

void QvMainLoop::bindToCurrentThread() {
  if (auto* q = headless()) q->bindToCurrentThread();
}

void QvMainLoop::run() {
  if (auto* q = headless()) q->run();
}

void QvMainLoop::stop() {
  if (auto* q = headless()) q->stop();
}

void QvMainLoop::runFor(double seconds) {
  if (auto* q = headless()) q->runFor(seconds);
}

bool QvMainLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  auto* q = headless();
  return q ? q->runUntil(done, timeoutSeconds) : done();
}

}  // namespace qvad
