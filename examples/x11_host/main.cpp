// x11-host [--key K] [--secret S]: an example Xlib application with its own event loop
// showing qvad's three ad formats over its window. The ad platform comes from
// QVAD_API_BASE_URL and QVAD_CA_FILE, else the library's built-in default.
#include <cstdio>
#include <string>

#include "x11_host_app.h"

int main(int argc, char** argv) {
  std::string key = "demo-app", secret = "demo-secret";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--key" && i + 1 < argc) {
      key = argv[++i];
    } else if (a == "--secret" && i + 1 < argc) {
      secret = argv[++i];
    } else {
      std::fprintf(stderr, "usage: x11-host [--key K] [--secret S]\n");
      return 2;
    }
  }
  example::X11HostApp app;
  if (!app.ok()) {
    std::fprintf(stderr, "x11-host: cannot open the X display\n");
    return 1;
  }
  app.start(key, secret);
  while (!app.quitRequested()) app.step(16);  // about one turn a frame
  return 0;
}
