// start() to its completion against qvad-sandbox on loopback, each time in a fresh
// process, next to a fresh process doing a bare libcurl HTTPS GET of the same signed
// init URL (signed by the parent) with the same CA. Rounds alternate the two; each
// child prints its own time, taken from just before the call to the completion
// (process start-up is not counted on either side).
#include <curl/curl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_rows.h"
#include "net/endpoints.h"
#include "net/utils.h"
#include "platform/main_queue.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "support/sandbox_process.h"

namespace {

using namespace qvad::bench;

size_t discard(char*, size_t size, size_t n, void*) { return size * n; }

int childOurs(const std::string& base, const std::string& ca) {
  qvad::QvConfiguration::setApiBaseURL(base);
  qvad::QvConfiguration::setCAFile(ca);
  qvad::QvConfiguration::setLogSink([](std::string_view) {});
  qvad::MainQueue::main();
  bool done = false, ok = false;
  auto t = Clock::now();
  qvad::QvInterActiveAdManager::shared().start("demo-app", "demo-secret", [&](std::optional<qvad::QvError> e) {
    done = true;
    ok = !e;
  });
  qvad::HeadlessMainQueue::current()->runUntil([&] { return done; }, 30);
  const double ms = msSince(t);
  if (!ok) return 1;
  std::printf("%.4f\n", ms);
  return 0;
}

// The parent signs the URL: signing here would initialise OpenSSL before the clock
// starts, and curl_global_init's share of the GET would go uncounted.
int childBare(const std::string& url, const std::string& ca) {
  auto t = Clock::now();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* e = curl_easy_init();
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_CAINFO, ca.c_str());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, discard);
  long status = 0;
  const bool ok = curl_easy_perform(e) == CURLE_OK &&
                  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
  curl_easy_cleanup(e);
  const double ms = msSince(t);
  if (!ok) return 1;
  std::printf("%.4f\n", ms);
  return 0;
}

// Runs this binary as a child in `mode` and reads the time it prints.
double child(const char* self, const char* mode, const std::string& target, const std::string& ca,
             const std::string& dataDir) {
  std::string cmd = std::string("QVAD_BENCH_DATA='") + dataDir + "' '" + self + "' --child=" + mode + " '" + target +
                    "' '" + ca + "'";
  FILE* p = popen(cmd.c_str(), "r");
  double ms = -1;
  if (p && std::fscanf(p, "%lf", &ms) != 1) ms = -1;
  if (!p || pclose(p) != 0 || ms < 0) {
    std::fprintf(stderr, "start_bench: the %s child failed\n", mode);
    std::exit(1);
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]).rfind("--child=", 0) == 0) {
    if (const char* d = std::getenv("QVAD_BENCH_DATA")) qvad::QvConfiguration::setDataDirectory(d);
    const std::string mode = argv[1] + 8;
    return mode == "ours" ? childOurs(argv[2], argv[3]) : childBare(argv[2], argv[3]);
  }
  const int rounds = roundsArg(argc, argv, 9);
  char tmpl[] = "/tmp/qvad-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  qvad::testing::SandboxProcess sandbox(QVAD_SANDBOX_BIN);
  if (!sandbox.ok()) {
    std::fprintf(stderr, "start_bench: %s\n", sandbox.error().c_str());
    return 1;
  }
  std::vector<double> ours, bare;
  child(argv[0], "ours", sandbox.baseURL(), sandbox.caFile(), tmpl);  // the binary's pages in memory
  qvad::QvConfiguration::setDataDirectory(tmpl);
  qvad::managerInternal::setCredentials(std::string("demo-app"), std::string("demo-secret"));
  for (int r = 0; r < rounds; ++r) {
    ours.push_back(child(argv[0], "ours", sandbox.baseURL(), sandbox.caFile(), tmpl));
    // A fresh nonce each round: the sandbox refuses a replayed one.
    const std::string url =
        qvad::Utils::getURL(sandbox.baseURL() + qvad::kInitPath, qvad::managerInternal::getStartParams());
    bare.push_back(child(argv[0], "bare", url, sandbox.caFile(), tmpl));
  }
  const double ratio = median(ours) / median(bare);
  Row row{"start", median(ours), median(bare), "ms", ratio, "ratio <= 1.3", ratio <= 1.3};
  row.detail = {{"rounds", rounds}};
  emit(row);
  std::filesystem::remove_all(tmpl);
  return 0;
}
