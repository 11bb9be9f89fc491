/* qvad.h stands alone, in C99 with every warning an error and as C++: each use below
   needs the declaration as documented. Compiled twice by CTest; never run. */
#include <qvad/qvad.h>
#include <qvad/qvad.h> /* guarded */

#ifdef __cplusplus
#define QVAD_NULL nullptr
#else
#define QVAD_NULL ((void *)0)
#endif

static void on_start(void *user, const qvad_error *error) {
  (void)user;
  (void)qvad_error_code(error);
  (void)qvad_error_description(error);
}
static void on_line(void *user, const char *line) {
  (void)user;
  (void)line;
}
static void on_event(void *user) { (void)user; }
static void on_failed(void *user, const qvad_error *error) {
  (void)user;
  (void)error;
}
static void on_reward(void *user, qvad_reward_ad *ad) {
  (void)user;
  (void)ad;
}
static void on_interstitial(void *user, qvad_interstitial_ad *ad) {
  (void)user;
  (void)ad;
}

int header_compiles(void);
int header_compiles(void) {
  qvad_floating_callbacks floating = {on_event, on_event, on_event, on_failed};
  qvad_reward_callbacks reward = {on_reward, 0, on_reward, 0, on_reward, on_reward, on_reward, on_reward};
  qvad_interstitial_callbacks interstitial = {on_interstitial, 0, on_interstitial, 0,
                                              on_interstitial, on_interstitial, on_interstitial};
  qvad_host *host = qvad_host_over_x11(0UL);
  qvad_reward_ad *r = qvad_reward_ad_create("reward-1", &reward, QVAD_NULL);
  qvad_interstitial_ad *i = qvad_interstitial_ad_create(QVAD_NULL, &interstitial, QVAD_NULL);
  const char *version = qvad_version();
  qvad_set_api_base_url("https://127.0.0.1:8443");
  qvad_set_ca_file(QVAD_NULL);
  qvad_set_limit_ad_tracking(1);
  qvad_set_log_sink(on_line, QVAD_NULL);
  qvad_start("key", "secret", on_start, QVAD_NULL);
  qvad_show_floating_ad(host, QVAD_DEFAULT_AD_POSITION, QVAD_DEFAULT_AD_POSITION, &floating, QVAD_NULL);
  qvad_reward_ad_load(r);
  qvad_reward_ad_show(r, host, 1);
  qvad_reward_ad_release(r);
  qvad_interstitial_ad_load(i);
  qvad_interstitial_ad_show(i, QVAD_NULL, 0);
  qvad_interstitial_ad_release(i);
  qvad_host_release(qvad_host_attach_gtk(QVAD_NULL));
  qvad_host_release(host);
  qvad_main_quit();
  qvad_main_run();
  return qvad_main_iterate(0) + (version != QVAD_NULL);
}
