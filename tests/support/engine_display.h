// Set-up of a process that drives the web engine on a test display: the engine's caches,
// data and settings in a directory of the run's own, never the user's; no compositing (a
// virtual frame buffer has no GL) and no accessibility bus.
#pragma once

#include <gtk/gtk.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

namespace qvad::testing {

/// Points the engine's files into `dir` and opens the display; false, with a line naming
/// `who`, when there is none.
inline bool openEngineDisplay(int* argc, char*** argv, const std::string& dir, const char* who) {
  setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("NO_AT_BRIDGE", "1", 0);
  if (gtk_init_check(argc, argv)) return true;
  std::fprintf(stderr, "%s need a display: run them through tests/webkit/with_display.sh\n", who);
  return false;
}

}  // namespace qvad::testing
