// A minimal host: starts the library with a key and secret and prints the outcome.
// The server and its CA come from QVAD_API_BASE_URL and QVAD_CA_FILE.
#include <cstdio>
#include <optional>
#include <string>

#include "qvad/configuration.h"
#include "qvad/main_loop.h"
#include "qvad/qv_inter_active_ad_manager.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qvad-demo APP_KEY APP_SECRET\n");
    return 2;
  }
  std::printf("host: starting against %s\n", qvad::QvConfiguration::apiBaseURL().c_str());
  std::fflush(stdout);

  bool done = false;
  int status = 1;
  qvad::QvInterActiveAdManager::shared().start(argv[1], argv[2], [&](std::optional<qvad::QvError> error) {
    done = true;
    if (!error) {
      std::printf("host: start-up succeeded\n");
      status = 0;
    } else {
      std::printf("host: start-up failed: code %lld, %s\n", static_cast<long long>(error->errorCode.value_or(0)),
                  error->errorDescription.value_or("").c_str());
    }
  });
  if (!qvad::QvMainLoop::runUntil([&] { return done; }, 45)) std::printf("host: no outcome (the reply was not a JSON envelope)\n");
  std::fflush(stdout);
  return status;
}
