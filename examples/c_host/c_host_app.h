/* An example Xlib application in C hosting qvad through its C interface: a plain X11
   window that draws its own content and runs its own loop, giving the library a turn
   with qvad_main_iterate(0). Every callback prints one line. Public headers and the
   qvad library (and Xlib) only. */
#ifndef C_HOST_APP_H
#define C_HOST_APP_H

#include <X11/Xlib.h>

#include <qvad/qvad.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct c_host_box {
  int x, y, width, height;
} c_host_box;

/* The host's own buttons and canvas, in window pixels. */
extern const c_host_box c_host_reward_button;
extern const c_host_box c_host_interstitial_button;
extern const c_host_box c_host_canvas;

typedef struct c_host_app {
  Display *display;
  Window window;
  GC gc;
  Atom delete_window;
  int quit;
  qvad_host *host;
  qvad_reward_ad *reward;
  qvad_interstitial_ad *interstitial;
  /* What happened, for the window's status line and for tests. */
  int started, badge_shown, badge_clicked, canvas_clicks, rewards;
  int reward_loaded, reward_shown, reward_closed;
  int interstitial_loaded, interstitial_shown, interstitial_closed;
  char last_event[160];
  /* Called with every line printed, when set (a test's recorder). */
  void (*observer)(void *context, const char *line);
  void *observer_context;
} c_host_app;

/* Opens the display ($DISPLAY) and maps the window; 0 when there is no display. */
int c_host_app_open(c_host_app *app);
/* Lays qvad's windows over the window and starts the library; the badge and both
   full-screen ads follow once start-up succeeded. 0 when qvad cannot host over it. */
int c_host_app_start(c_host_app *app, const char *app_key, const char *app_secret);
/* One turn of the loop: the window's own events, then qvad's pending work; waits up to
   `timeout_ms` for an X event when there was nothing to do. */
void c_host_app_step(c_host_app *app, int timeout_ms);
/* Releases the ads and the host window, then closes the window and the display. */
void c_host_app_close(c_host_app *app);

#ifdef __cplusplus
}
#endif

#endif /* C_HOST_APP_H */
