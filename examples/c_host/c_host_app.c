#define _POSIX_C_SOURCE 200809L /* poll() */

#include "c_host_app.h"

#include <poll.h>
#include <stdio.h>
#include <string.h>

const c_host_box c_host_reward_button = {20, 520, 210, 44};
const c_host_box c_host_interstitial_button = {250, 520, 210, 44};
const c_host_box c_host_canvas = {20, 60, 440, 440};

static int box_contains(const c_host_box *b, int x, int y) {
  return x >= b->x && y >= b->y && x < b->x + b->width && y < b->y + b->height;
}

static void draw(c_host_app *app) {
  const int screen = DefaultScreen(app->display);
  char title[64];
  XClearWindow(app->display, app->window);
  XSetForeground(app->display, app->gc, BlackPixel(app->display, screen));
  snprintf(title, sizeof title, "A C program's window; rewards: %d", app->rewards);
  XDrawString(app->display, app->window, app->gc, 20, 36, title, (int)strlen(title));
  XSetForeground(app->display, app->gc, 0xdde3ea);
  XFillRectangle(app->display, app->window, app->gc, c_host_canvas.x, c_host_canvas.y,
                 (unsigned)c_host_canvas.width, (unsigned)c_host_canvas.height);
  {
    const c_host_box *boxes[2] = {&c_host_reward_button, &c_host_interstitial_button};
    const char *labels[2] = {"Reward video", "Interstitial"};
    int i;
    for (i = 0; i < 2; ++i) {
      XSetForeground(app->display, app->gc, 0x3b78c8);
      XFillRectangle(app->display, app->window, app->gc, boxes[i]->x, boxes[i]->y, (unsigned)boxes[i]->width,
                     (unsigned)boxes[i]->height);
      XSetForeground(app->display, app->gc, WhitePixel(app->display, screen));
      XDrawString(app->display, app->window, app->gc, boxes[i]->x + 16, boxes[i]->y + 27, labels[i],
                  (int)strlen(labels[i]));
    }
  }
  XSetForeground(app->display, app->gc, BlackPixel(app->display, screen));
  XDrawString(app->display, app->window, app->gc, 20, 600, app->last_event, (int)strlen(app->last_event));
  XFlush(app->display);
}

/* One line per event: on standard output and in the window's status line. */
static void said(c_host_app *app, const char *event, const qvad_error *error) {
  if (error) {
    snprintf(app->last_event, sizeof app->last_event, "%s: %lld %s", event, qvad_error_code(error),
             qvad_error_description(error));
  } else {
    snprintf(app->last_event, sizeof app->last_event, "%s", event);
  }
  printf("%s\n", app->last_event);
  fflush(stdout);
  if (app->observer) app->observer(app->observer_context, app->last_event);
  draw(app);
}

/* ---- the floating badge */

static void badge_shown(void *user) {
  c_host_app *app = user;
  app->badge_shown = 1;
  said(app, "badge shown", NULL);
}
static void badge_clicked(void *user) {
  c_host_app *app = user;
  app->badge_clicked = 1;
  said(app, "badge clicked", NULL);
}
static void badge_closed(void *user) { said(user, "badge closed", NULL); }
static void badge_failed(void *user, const qvad_error *error) { said(user, "badge failed", error); }

/* An ad's event: its flag (when it has one) says whether it went without an error. */
static void happened(c_host_app *app, int *flag, const char *event, const qvad_error *error) {
  if (flag) *flag = error == NULL;
  said(app, event, error);
}

/* ---- the reward video */

static void reward_loaded(void *user, qvad_reward_ad *ad) {
  (void)ad;
  happened(user, &((c_host_app *)user)->reward_loaded, "reward video loaded", NULL);
}
static void reward_failed(void *user, qvad_reward_ad *ad, const qvad_error *error) {
  (void)ad;
  happened(user, NULL, "reward video failed to load", error);
}
static void reward_shown(void *user, qvad_reward_ad *ad, const qvad_error *error) {
  (void)ad;
  happened(user, &((c_host_app *)user)->reward_shown, error ? "reward video failed to show" : "reward video shown",
           error);
}
static void reward_granted(void *user, qvad_reward_ad *ad) {
  (void)ad;
  ++((c_host_app *)user)->rewards;
  happened(user, NULL, "reward granted", NULL);
}
static void reward_closed(void *user, qvad_reward_ad *ad) {
  (void)ad;
  happened(user, &((c_host_app *)user)->reward_closed, "reward video closed", NULL);
}

/* ---- the interstitial */

static void interstitial_loaded(void *user, qvad_interstitial_ad *ad) {
  (void)ad;
  happened(user, &((c_host_app *)user)->interstitial_loaded, "interstitial loaded", NULL);
}
static void interstitial_failed(void *user, qvad_interstitial_ad *ad, const qvad_error *error) {
  (void)ad;
  happened(user, NULL, "interstitial failed to load", error);
}
static void interstitial_shown(void *user, qvad_interstitial_ad *ad, const qvad_error *error) {
  (void)ad;
  happened(user, &((c_host_app *)user)->interstitial_shown, error ? "interstitial failed to show" : "interstitial shown",
           error);
}
static void interstitial_closed(void *user, qvad_interstitial_ad *ad) {
  (void)ad;
  happened(user, &((c_host_app *)user)->interstitial_closed, "interstitial closed", NULL);
}

static void started(void *user, const qvad_error *error) {
  c_host_app *app = user;
  qvad_floating_callbacks badge = {badge_shown, badge_clicked, badge_closed, badge_failed};
  qvad_reward_callbacks reward;
  qvad_interstitial_callbacks interstitial;
  if (error) {
    said(app, "start failed", error);
    return;
  }
  app->started = 1;
  said(app, "started", NULL);
  /* The badge over the canvas's bottom-right corner (window points). */
  qvad_show_floating_ad(app->host, c_host_canvas.x + c_host_canvas.width - 116.0,
                        c_host_canvas.y + c_host_canvas.height - 116.0, &badge, app);

  memset(&reward, 0, sizeof reward);
  reward.did_load = reward_loaded;
  reward.did_fail = reward_failed;
  reward.did_show = reward_shown;
  reward.complete = reward_granted;
  reward.did_close = reward_closed;
  if (!app->reward) app->reward = qvad_reward_ad_create("reward-1", &reward, app);
  qvad_reward_ad_load(app->reward);

  memset(&interstitial, 0, sizeof interstitial);
  interstitial.did_load = interstitial_loaded;
  interstitial.did_fail = interstitial_failed;
  interstitial.did_show = interstitial_shown;
  interstitial.did_close = interstitial_closed;
  if (!app->interstitial) app->interstitial = qvad_interstitial_ad_create("interstitial-1", &interstitial, app);
  qvad_interstitial_ad_load(app->interstitial);
}

int c_host_app_open(c_host_app *app) {
  int screen;
  memset(app, 0, sizeof *app);
  app->display = XOpenDisplay(NULL);
  if (!app->display) return 0;
  screen = DefaultScreen(app->display);
  app->window = XCreateSimpleWindow(app->display, RootWindow(app->display, screen), 100, 100, 480, 640, 0,
                                    BlackPixel(app->display, screen), 0xf4f1ea);
  XStoreName(app->display, app->window, "C host");
  XSelectInput(app->display, app->window, ExposureMask | ButtonPressMask | StructureNotifyMask);
  app->delete_window = XInternAtom(app->display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(app->display, app->window, &app->delete_window, 1);
  app->gc = XCreateGC(app->display, app->window, 0, NULL);
  XMapWindow(app->display, app->window);
  XFlush(app->display);
  return 1;
}

int c_host_app_start(c_host_app *app, const char *app_key, const char *app_secret) {
  app->host = qvad_host_over_x11(app->window);
  if (!app->host) {
    said(app, "no host window: qvad needs an X11 display", NULL);
    return 0;
  }
  qvad_start(app_key, app_secret, started, app);
  return 1;
}

static void click(c_host_app *app, int x, int y) {
  if (box_contains(&c_host_reward_button, x, y)) {
    if (app->reward_loaded) qvad_reward_ad_show(app->reward, app->host, 1);
  } else if (box_contains(&c_host_interstitial_button, x, y)) {
    if (app->interstitial_loaded) qvad_interstitial_ad_show(app->interstitial, app->host, 1);
  } else if (box_contains(&c_host_canvas, x, y)) {
    ++app->canvas_clicks;
    said(app, "canvas clicked", NULL);
  }
}

void c_host_app_step(c_host_app *app, int timeout_ms) {
  int busy = 0;
  struct pollfd p;
  while (XPending(app->display)) {
    XEvent ev;
    busy = 1;
    XNextEvent(app->display, &ev);
    if (ev.type == Expose && ev.xexpose.count == 0) draw(app);
    if (ev.type == ButtonPress && ev.xbutton.button == Button1) click(app, ev.xbutton.x, ev.xbutton.y);
    if (ev.type == ClientMessage && (Atom)ev.xclient.data.l[0] == app->delete_window) app->quit = 1;
  }
  /* qvad's share of the turn: its posted work and its own windows' events. */
  if (qvad_main_iterate(0)) busy = 1;
  if (busy) return;
  p.fd = ConnectionNumber(app->display);
  p.events = POLLIN;
  p.revents = 0;
  poll(&p, 1, timeout_ms);
}

void c_host_app_close(c_host_app *app) {
  qvad_reward_ad_release(app->reward);
  qvad_interstitial_ad_release(app->interstitial);
  qvad_host_release(app->host); /* qvad's windows go before the host's */
  app->reward = NULL;
  app->interstitial = NULL;
  app->host = NULL;
  if (!app->display) return;
  XFreeGC(app->display, app->gc);
  XDestroyWindow(app->display, app->window);
  XCloseDisplay(app->display);
  app->display = NULL;
}
