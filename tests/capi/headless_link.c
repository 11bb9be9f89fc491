/* A C program on the headless library alone (no GTK objects linked): start-up against a
   loopback port where nobody listens fails through the completion, a reward ad's failed
   load reaches its table and may release the ad from inside the callback, a released
   ad hears nothing more, no console line carries the secret, and the identifier file is
   kept in the data directory the program set. */
#define _POSIX_C_SOURCE 200809L

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <qvad/qvad.h>

#define SECRET "c-secret-never-logged"

static int failures;
#define CHECK(cond)                                                  \
  do {                                                               \
    if (!(cond)) {                                                   \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                    \
    }                                                                \
  } while (0)

typedef struct {
  int started, start_failed;
  long long start_code;
  int reward_failed, reward_loaded;
  long long reward_code;
  int released_heard;
  int lines, secret_lines;
} record;

static void on_line(void *user, const char *line) {
  record *r = user;
  ++r->lines;
  if (strstr(line, SECRET)) ++r->secret_lines;
}

static void on_start(void *user, const qvad_error *error) {
  record *r = user;
  r->started = 1;
  if (error) {
    r->start_failed = 1;
    r->start_code = qvad_error_code(error);
    CHECK(qvad_error_description(error) != NULL);
  }
}

static void on_reward_failed(void *user, qvad_reward_ad *ad, const qvad_error *error) {
  record *r = user;
  r->reward_failed = 1;
  r->reward_code = qvad_error_code(error);
  qvad_reward_ad_release(ad); /* from inside its own callback */
}
static void on_reward_loaded(void *user, qvad_reward_ad *ad) {
  record *r = user;
  r->reward_loaded = 1;
  qvad_reward_ad_release(ad);
}
static void on_released_ad(void *user, qvad_interstitial_ad *ad, const qvad_error *error) {
  record *r = user;
  (void)ad;
  (void)error;
  r->released_heard = 1;
}

static int unused_loopback_port(void) {
  struct sockaddr_in a;
  socklen_t len = sizeof a;
  int port = 0, fd = socket(AF_INET, SOCK_STREAM, 0);
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && bind(fd, (struct sockaddr *)&a, sizeof a) == 0 && getsockname(fd, (struct sockaddr *)&a, &len) == 0)
    port = ntohs(a.sin_port);
  if (fd >= 0) close(fd);
  return port;
}

static double seconds(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(void) {
  record r;
  char url[64];
  char data[] = "/tmp/qvad-capi-XXXXXX";
  char identifier[64];
  const double end = seconds() + 30;
  qvad_reward_callbacks reward;
  qvad_interstitial_callbacks released;
  qvad_reward_ad *ad;
  qvad_interstitial_ad *gone;

  memset(&r, 0, sizeof r);
  CHECK(strcmp(qvad_version(), QVAD_EXPECTED_VERSION) == 0);
  /* NULL handles and errors are tolerated. */
  CHECK(qvad_error_code(NULL) == 0 && strcmp(qvad_error_description(NULL), "") == 0);
  qvad_reward_ad_load(NULL);
  qvad_reward_ad_release(NULL);
  qvad_interstitial_ad_show(NULL, NULL, 1);
  (void)qvad_main_iterate(0);

  qvad_set_log_sink(on_line, &r);
  /* The directories a C host chooses are the ones the library keeps its files in. */
  CHECK(mkdtemp(data) != NULL);
  qvad_set_data_directory(data);
  qvad_set_documents_directory(data);
  qvad_set_request_timeout(5);
  snprintf(url, sizeof url, "https://127.0.0.1:%d", unused_loopback_port());
  qvad_set_api_base_url(url);

  memset(&reward, 0, sizeof reward);
  reward.did_fail = on_reward_failed;
  reward.did_load = on_reward_loaded;
  ad = qvad_reward_ad_create("reward-1", &reward, &r);
  CHECK(ad != NULL);
  reward.did_fail = NULL; /* the table was copied: changing ours changes nothing */
  qvad_reward_ad_load(ad);

  memset(&released, 0, sizeof released);
  released.did_fail = on_released_ad;
  gone = qvad_interstitial_ad_create("interstitial-1", &released, &r);
  qvad_interstitial_ad_load(gone);
  qvad_interstitial_ad_release(gone);

  qvad_start("c-key", SECRET, on_start, &r);
  while ((!r.started || !r.reward_failed) && seconds() < end) CHECK(qvad_main_iterate(1) == 1);
  /* The released ad's reply comes as well; give it time to arrive and be dropped. */
  {
    const double settle = seconds() + 1;
    while (seconds() < settle) {
      if (!qvad_main_iterate(0)) {
        const struct timespec pause = {0, 10000000L};
        nanosleep(&pause, NULL);
      }
    }
  }
  qvad_set_log_sink(NULL, NULL);

  CHECK(r.started && r.start_failed);
  CHECK(r.start_code == -1004);
  CHECK(r.reward_failed && !r.reward_loaded);
  CHECK(r.reward_code == -1004);
  CHECK(!r.released_heard);
  CHECK(r.secret_lines == 0);
  snprintf(identifier, sizeof identifier, "%s/advertising-identifier.json", data);
  CHECK(access(identifier, F_OK) == 0);
  unlink(identifier);
  snprintf(identifier, sizeof identifier, "%s/defaults.json", data);
  unlink(identifier);
  CHECK(rmdir(data) == 0); /* nothing else was written there */
  printf("start %lld, reward %lld, %d console lines\n", r.start_code, r.reward_code, r.lines);
  return failures ? 1 : 0;
}
