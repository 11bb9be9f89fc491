// Entry of the engine tests: a real display (the caller's or Xvfb's), the GLib main queue
// on the default context that GTK and the engine run on, and caches and data of the
// engine in a directory of the run's own, never the user's.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/gtk/main_queue_glib.h"
#include "platform/service_slot.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  namespace fs = std::filesystem;
  std::string dir = (fs::temp_directory_path() / "qvad-webkit-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 2;
  setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
  // A virtual frame buffer has no GL: the engine draws without compositing there.
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  // No accessibility bus on a test display.
  setenv("NO_AT_BRIDGE", "1", 0);
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "engine tests need a display: run them through tests/webkit/with_display.sh\n");
    return 2;
  }
  qvad::MainQueue::slot().install(std::make_shared<qvad::GlibMainQueue>());
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  fs::remove_all(dir, ec);
  return rc;
}
