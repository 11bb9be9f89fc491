/* c-host [KEY SECRET]: an example C program with its own Xlib loop showing qvad's three
   ad formats over its window. The ad platform comes from QVAD_API_BASE_URL and
   QVAD_CA_FILE, else the library's built-in default. */
#include <stdio.h>

#include "c_host_app.h"

int main(int argc, char **argv) {
  c_host_app app;
  const char *key = argc > 2 ? argv[1] : "demo-app";
  const char *secret = argc > 2 ? argv[2] : "demo-secret";
  if (argc != 1 && argc != 3) {
    fprintf(stderr, "usage: c-host [KEY SECRET]\n");
    return 2;
  }
  if (!c_host_app_open(&app)) {
    fprintf(stderr, "c-host: cannot open the X display\n");
    return 1;
  }
  printf("qvad %s\n", qvad_version());
  if (!c_host_app_start(&app, key, secret)) {
    c_host_app_close(&app);
    return 1;
  }
  while (!app.quit) c_host_app_step(&app, 16); /* about one turn a frame */
  c_host_app_close(&app);
  return 0;
}
