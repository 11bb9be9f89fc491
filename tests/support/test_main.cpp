// Test entry: every run gets its own data and documents directories, so tests never
// touch the user's files, and the main queue belongs to the test thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/main_queue.h"
#include "platform/service_slot.h"
#include "qvad/configuration.h"

// Pango loads the font configuration on a thread of its own and hands it over with
// glib's futex locks, which the thread checker cannot see in these uninstrumented
// libraries; their accesses to that shared configuration are not ours to report.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig.so\nrace:g_str_has_suffix\n";
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  namespace fs = std::filesystem;
  std::string tmpl = (fs::temp_directory_path() / "qvad-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return 2;
  qvad::QvConfiguration::setDataDirectory(tmpl + "/data");
  qvad::QvConfiguration::setDocumentsDirectory(tmpl + "/Documents");
  // Tests run on the headless queue whatever the build's default backend: its virtual
  // clock lets them move time without sleeping.
  qvad::MainQueue::slot().install(std::make_shared<qvad::HeadlessMainQueue>());
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  fs::remove_all(tmpl, ec);
  return rc;
}
