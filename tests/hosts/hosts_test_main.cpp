// Entry of the example hosts' tests: a real display (the caller's or Xvfb's, with a
// window manager when one is installed), the engine's caches and the library's files in a
// directory of the run's own, never the user's.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "host_fixture.h"
#include "qvad/configuration.h"
#include "support/engine_display.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  namespace fs = std::filesystem;
  std::string dir = (fs::temp_directory_path() / "qvad-hosts-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 2;
  if (!qvad::testing::openEngineDisplay(&argc, &argv, dir, "the host tests")) return 2;
  // A window manager started beside the display takes a moment to claim it.
  if (getenv("QVAD_TEST_WM")) {
    for (int i = 0; i < 100 && !qvad::hosts::windowManagerRuns(); ++i) g_usleep(50000);
  }
  qvad::QvConfiguration::setDataDirectory(dir + "/qvad");
  qvad::QvConfiguration::setDocumentsDirectory(dir + "/qvad/Documents");
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  fs::remove_all(dir, ec);
  return rc;
}
