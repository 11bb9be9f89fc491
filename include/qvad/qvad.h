/* The C interface of qvad: the host API of the C++ headers beside this one, for hosts
   written in C and for language bindings. C99; nothing of C++ crosses it.

   Threads: every function is called on the library's main thread (the process's first
   thread), except where a function says otherwise; the calls that run the main loop or
   touch host windows stop the process with a message when called elsewhere. Every
   callback runs on the main thread, inside qvad_main_iterate(), qvad_main_run() or the
   host's GLib loop; the log sink is the one exception (see qvad_set_log_sink).

   Ownership: strings passed in are copied before the call returns. Strings and errors
   passed out are valid during the callback that receives them only; qvad_version()'s
   string lives as long as the process. Callback tables are copied; `user` pointers are
   handed back untouched and never freed. Handles (qvad_host, qvad_reward_ad,
   qvad_interstitial_ad) belong to the host, which releases each exactly once. No
   callback of an ad runs after its release, and releasing an ad from inside one of its
   own callbacks is safe. NULL strings count as empty; NULL handles are ignored. */
#ifndef QVAD_QVAD_H
#define QVAD_QVAD_H

#include "qvad/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/** The library's version, "MAJOR.MINOR.PATCH"; static storage. */
QVAD_EXPORT const char *qvad_version(void);

/* ---- Configuration: any thread; read when a request starts, so set before qvad_start. */

/** Scheme, host and optional port of the ad platform (QVAD_API_BASE_URL does the same). */
QVAD_EXPORT void qvad_set_api_base_url(const char *url);
/** PEM file of extra certificate authorities to trust (QVAD_CA_FILE does the same).
    TLS verification is never switched off. */
QVAD_EXPORT void qvad_set_ca_file(const char *path);
/** Time-out of one server request in seconds (idle time, not the whole transfer); values
    <= 0 restore the default of 30. */
QVAD_EXPORT void qvad_set_request_timeout(double seconds);
/** Directory of the GIF cache (QVAD_DOCUMENTS_DIR does the same). */
QVAD_EXPORT void qvad_set_documents_directory(const char *path);
/** Directory of the user defaults and the advertising identifier (QVAD_DATA_DIR does the
    same). */
QVAD_EXPORT void qvad_set_data_directory(const char *path);
/** The user's choice to limit ad tracking (non-zero: limited); kept in the data directory. */
QVAD_EXPORT void qvad_set_limit_ad_tracking(int on);
/** Receives every console line of the library, without the newline. Unlike the other
    callbacks it runs on whichever thread wrote the line, possibly several at once, so it
    must be thread-safe; `line` is valid during the call. NULL restores standard output.
    Any thread. */
QVAD_EXPORT void qvad_set_log_sink(void (*sink)(void *user, const char *line), void *user);

/* ---- Errors */

/** An error the library reports: a negative network code (-1001 time-out, -1004 cannot
    connect, -1202 untrusted certificate, ...), -1000 for an unusable reply, -997 when an
    ad page failed to load, or the ad platform's own code. Valid during the callback only. */
typedef struct qvad_error qvad_error;
QVAD_EXPORT long long qvad_error_code(const qvad_error *error);
/** The error's text (never NULL; "" for a NULL error). */
QVAD_EXPORT const char *qvad_error_description(const qvad_error *error);

/* ---- Start-up */

/** Stores key and secret (replacing earlier ones) and sends the init request; returns at
    once. `complete` (may be NULL) runs later with `error` NULL when the server accepted
    the start, else with its error; not at all when the reply is not a JSON envelope.
    The secret is copied and only used to sign requests: never sent, logged or stored.
    Any thread. */
QVAD_EXPORT void qvad_start(const char *app_key, const char *app_secret,
                            void (*complete)(void *user, const qvad_error *error), void *user);

/* ---- The main loop */

/** Runs the library's pending main-thread work (and, on the desktop backend, what is
    pending on the default GLib main context, the toolkit's events included). Without
    `may_block` it never waits; with it, it waits until at least one thing ran. Returns
    non-zero when anything ran. For a host that runs its own loop, once a turn. */
QVAD_EXPORT int qvad_main_iterate(int may_block);
/** Runs the main loop until qvad_main_quit(). */
QVAD_EXPORT void qvad_main_run(void);
/** Ends qvad_main_run(); any thread, or a callback. */
QVAD_EXPORT void qvad_main_quit(void);

/* ---- Host windows (need a display; the desktop backend of the shared library) */

/** The host's screen, where the ads appear. */
typedef struct qvad_host qvad_host;
/** Lays the library's layers over a GTK 3 top-level window (a GtkWindow *). NULL, with a
    console line, when it cannot attach. */
QVAD_EXPORT qvad_host *qvad_host_attach_gtk(void *gtk_window);
/** Keeps the library's windows over an X11 window (0: a window of the library's own).
    NULL, with a console line, when the display is not X11 or the window does not exist. */
QVAD_EXPORT qvad_host *qvad_host_over_x11(unsigned long x11_window);
/** Releases the handle. The last handle of a window detaches it: ads still up over it
    close (their will-close and did-close callbacks run) and the host's window is left as
    it was. */
QVAD_EXPORT void qvad_host_release(qvad_host *host);

/* ---- The floating ad */

/** What happens to one floating badge. Any member may be NULL. */
typedef struct qvad_floating_callbacks {
  /** The badge was laid out (visible once its picture has loaded). */
  void (*shown)(void *user);
  /** A tap opened the landing page. */
  void (*clicked)(void *user);
  /** The close button removed the badge. */
  void (*closed)(void *user);
  /** The ad query failed, or later the badge's picture could not be downloaded or was
      refused (-1011 a status other than 2xx, -1016 no drawable GIF); the badge stays hidden. */
  void (*failed)(void *user, const qvad_error *error);
} qvad_floating_callbacks;

/** The default position of the badge: near the container's bottom-right corner. */
#define QVAD_DEFAULT_AD_POSITION (-1000.0)

/** Queries an ad and lays a badge over `host` (NULL: the key host window, the one with
    the focus, else the last attached), its top-left corner at (`x`, `y`) points, or at
    the default place for QVAD_DEFAULT_AD_POSITION. Before a successful start it only
    repeats the init request and calls nothing. `callbacks` may be NULL; it is copied,
    and `user` is handed to each of them for as long as the badge lives. */
QVAD_EXPORT void qvad_show_floating_ad(qvad_host *host, double x, double y, const qvad_floating_callbacks *callbacks,
                                       void *user);

/* ---- Reward video ads */

typedef struct qvad_reward_ad qvad_reward_ad;

/** What happens to a reward video ad. Any member may be NULL. `ad` is the handle the
    callback belongs to. */
typedef struct qvad_reward_callbacks {
  /** A load succeeded: the ad can be shown. */
  void (*did_load)(void *user, qvad_reward_ad *ad);
  /** A load failed. */
  void (*did_fail)(void *user, qvad_reward_ad *ad, const qvad_error *error);
  /** qvad_reward_ad_show is about to open the page. */
  void (*begin_show)(void *user, qvad_reward_ad *ad);
  /** The page showed (`error` NULL) or failed to load (-997). */
  void (*did_show)(void *user, qvad_reward_ad *ad, const qvad_error *error);
  /** The user clicked the ad. */
  void (*did_click)(void *user, qvad_reward_ad *ad);
  /** The user earned the reward (the page may report it more than once). */
  void (*complete)(void *user, qvad_reward_ad *ad);
  /** The page is about to leave the screen. */
  void (*will_close)(void *user, qvad_reward_ad *ad);
  /** The page has left the screen. */
  void (*did_close)(void *user, qvad_reward_ad *ad);
} qvad_reward_callbacks;

/** A reward video ad of `placement_id` (NULL: none). `callbacks` (may be NULL) is
    copied. NULL only when the library could not make it. */
QVAD_EXPORT qvad_reward_ad *qvad_reward_ad_create(const char *placement_id, const qvad_reward_callbacks *callbacks,
                                                  void *user);
/** Queries the ad platform: did_load or did_fail follows. Returns at once. */
QVAD_EXPORT void qvad_reward_ad_load(qvad_reward_ad *ad);
/** Opens the loaded page full screen over `host` (NULL: the key host window). Without a
    loaded ad nothing happens and nothing is called. `animated`: non-zero slides it in. */
QVAD_EXPORT void qvad_reward_ad_show(qvad_reward_ad *ad, qvad_host *host, int animated);
/** Releases the ad; none of its callbacks runs afterwards. A page still up stays up. */
QVAD_EXPORT void qvad_reward_ad_release(qvad_reward_ad *ad);

/* ---- Interstitial ads */

typedef struct qvad_interstitial_ad qvad_interstitial_ad;

/** What happens to an interstitial ad. Any member may be NULL. */
typedef struct qvad_interstitial_callbacks {
  /** A load succeeded: the ad can be shown. */
  void (*did_load)(void *user, qvad_interstitial_ad *ad);
  /** A load failed. */
  void (*did_fail)(void *user, qvad_interstitial_ad *ad, const qvad_error *error);
  /** qvad_interstitial_ad_show is about to open the page; also when the page says it begins. */
  void (*begin_show)(void *user, qvad_interstitial_ad *ad);
  /** The page showed (`error` NULL) or failed to load (-997). */
  void (*did_show)(void *user, qvad_interstitial_ad *ad, const qvad_error *error);
  /** The user clicked the ad. */
  void (*did_click)(void *user, qvad_interstitial_ad *ad);
  /** The page is about to leave the screen. */
  void (*will_close)(void *user, qvad_interstitial_ad *ad);
  /** The page has left the screen. */
  void (*did_close)(void *user, qvad_interstitial_ad *ad);
} qvad_interstitial_callbacks;

/** An interstitial ad of `placement_id` (NULL: none); as qvad_reward_ad_create. */
QVAD_EXPORT qvad_interstitial_ad *qvad_interstitial_ad_create(const char *placement_id,
                                                              const qvad_interstitial_callbacks *callbacks, void *user);
QVAD_EXPORT void qvad_interstitial_ad_load(qvad_interstitial_ad *ad);
QVAD_EXPORT void qvad_interstitial_ad_show(qvad_interstitial_ad *ad, qvad_host *host, int animated);
QVAD_EXPORT void qvad_interstitial_ad_release(qvad_interstitial_ad *ad);

#ifdef __cplusplus
}
#endif

#endif /* QVAD_QVAD_H */
