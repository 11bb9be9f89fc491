#include "qvad/main_loop.h"

#include "platform/main_queue.h"

namespace qvad {

// Whatever backend is installed runs the loop: the headless run loop, or the GLib
// main context of the desktop backend.

void QvMainLoop::bindToCurrentThread() { MainQueue::main().bindToCurrentThread(); }

void QvMainLoop::run() { MainQueue::main().run(); }

void QvMainLoop::stop() { MainQueue::main().stop(); }

void QvMainLoop::runFor(double seconds) { MainQueue::main().runFor(seconds); }

bool QvMainLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  return MainQueue::main().runUntil(done, timeoutSeconds);
}

}  // namespace qvad
