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
#include "support/engine_display.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  namespace fs = std::filesystem;
  std::string dir = (fs::temp_directory_path() / "qvad-webkit-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 2;
  if (!qvad::testing::openEngineDisplay(&argc, &argv, dir, "engine tests")) return 2;
  qvad::MainQueue::slot().install(std::make_shared<qvad::GlibMainQueue>());
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  fs::remove_all(dir, ec);
  return rc;
}
