#include "qvad/main_loop.h"

#include <string>
#include <string_view>

#include "platform/fatal.h"
#include "platform/main_queue.h"

namespace qvad {
namespace {

// Running the loop elsewhere would run views and host callbacks on a thread that does
// not own them: a programming error of the host, named here rather than left to race.
MainQueue& loopOnMainThread(std::string_view call) {
  MainQueue& queue = MainQueue::main();
  if (!queue.isMainThread()) {
    fatalError(std::string("QvMainLoop::") + std::string(call) +
               " called off the library's main thread (the process's first thread, or the one "
               "QvMainLoop::bindToCurrentThread() named)");
  }
  return queue;
}

}  // namespace

// Whatever backend is installed runs the loop: the headless run loop, or the GLib
// main context of the desktop backend.

void QvMainLoop::bindToCurrentThread() { MainQueue::main().bindToCurrentThread(); }

void QvMainLoop::run() { loopOnMainThread("run()").run(); }

void QvMainLoop::stop() { MainQueue::main().stop(); }

void QvMainLoop::runFor(double seconds) { loopOnMainThread("runFor()").runFor(seconds); }

bool QvMainLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  return loopOnMainThread("runUntil()").runUntil(done, timeoutSeconds);
}

bool QvMainLoop::iterate() { return loopOnMainThread("iterate()").iterate(); }

}  // namespace qvad
