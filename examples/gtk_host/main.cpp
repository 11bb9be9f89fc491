// gtk-host [--key K] [--secret S]: an example GTK 3 application showing qvad's three ad
// formats over its own window. The ad platform comes from QVAD_API_BASE_URL and
// QVAD_CA_FILE (a qvad-sandbox's address and CA), else the library's built-in default.
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "gtk_host_app.h"

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  std::string key = "demo-app", secret = "demo-secret";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--key" && i + 1 < argc) {
      key = argv[++i];
    } else if (a == "--secret" && i + 1 < argc) {
      secret = argv[++i];
    } else {
      std::fprintf(stderr, "usage: gtk-host [--key K] [--secret S]\n");
      return 2;
    }
  }
  example::GtkHostApp app;
  g_signal_connect(app.window(), "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer) -> gboolean {
                     gtk_main_quit();
                     return TRUE;
                   }),
                   nullptr);
  app.start(key, secret);
  gtk_main();  // GTK's own loop runs the library too
  return 0;
}
