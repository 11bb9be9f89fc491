// The library's main loop. Completions and other main-thread work of the library run
// inside these calls, on the calling thread, which must be the main thread: the
// process's first thread unless bindToCurrentThread() chose another. run, runFor,
// runUntil and iterate called from another thread stop the process with a message
// saying so. A desktop host that runs its toolkit's own loop on the main thread needs
// none of these calls.
#pragma once

#include "qvad/export.h"

#include <functional>

namespace qvad {

class QVAD_EXPORT QvMainLoop {
 public:
  /// Makes the calling thread the library's main thread.
  static void bindToCurrentThread();
  /// Runs until stop() is called (from any thread or from a callback).
  static void run();
  static void stop();
  /// Runs for `seconds` of wall time.
  static void runFor(double seconds);
  /// Runs until `done()` is true or `timeoutSeconds` pass; returns done().
  static bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
  /// For a host that runs its own loop (a game calling once a frame): runs the
  /// library's main-thread work that is ready now, never waiting, and returns whether
  /// anything ran. Work that keeps posting more is cut off and continues in the next
  /// call. On the desktop backend this dispatches what is pending on the default GLib
  /// main context, the toolkit's own events included.
  static bool iterate();
};

}  // namespace qvad
