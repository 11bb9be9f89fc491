// Rows against qvad-sandbox over HTTPS on loopback, each next to plain libcurl doing the
// same requests in the same run (alternating rounds):
// - tracking: 1,000 tracking URLs at once through the tracker, next to a plain libcurl
//   multi loop fetching the same number at once (the tracker's session also puts every
//   transfer on one multi handle with no cap);
// - showAd-cold / showAd-warm: showAd until the badge is visible over the key window,
//   with an empty and a filled GIF cache, next to the same requests with plain libcurl
//   (the signed query, the JSON reply, the impression report beside it, the GIF from
//   the network or from a file) plus a raw giflib decode of the file.
#include <curl/curl.h>
#include <gif_lib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_rows.h"
#include "net/endpoints.h"
#include "net/tracker_manager.h"
#include "net/utils.h"
#include "platform/file_util.h"
#include "platform/http_session.h"
#include "platform/main_queue.h"
#include "platform/service_slot.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/window.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "support/sandbox_process.h"
#include "ui/gif/gif_decoder.h"

namespace {

using namespace qvad::bench;

constexpr int kUrls = 1000;
qvad::testing::SandboxProcess* sandbox = nullptr;
int trackerPending = 0;

// Counts every finished task of the wrapped session.
class FinishCounter final : public qvad::HttpSession {
 public:
  explicit FinishCounter(std::shared_ptr<qvad::HttpSession> inner) : inner_(std::move(inner)) {}
  void dataTask(qvad::HttpRequest request, qvad::HttpCompletion completion) override {
    inner_->dataTask(std::move(request), [this, completion = std::move(completion)](qvad::HttpResponse r) {
      completion(std::move(r));
      finished.fetch_add(1);
    });
  }
  std::atomic<int> finished{0};

 private:
  std::shared_ptr<qvad::HttpSession> inner_;
};

// Distinct URLs (the tracker's memory is per URL) over a few ad ids (the sandbox keeps
// at most 1,000 of them).
std::vector<std::string> trackingURLs(int round) {
  std::vector<std::string> urls;
  for (int i = 0; i < kUrls; ++i)
    urls.push_back(sandbox->baseURL() + "/track/impl?ad=bench-" + std::to_string(i % 100) + "&n=" +
                   std::to_string(round) + "-" + std::to_string(i));
  return urls;
}

double trackerRound(FinishCounter& counter, int round) {
  auto* q = qvad::HeadlessMainQueue::current();
  auto tracker = qvad::TrackerManager::make();
  const auto urls = trackingURLs(round);
  const int target = counter.finished.load() + kUrls;
  auto t = Clock::now();
  tracker->logTracker(urls);
  q->runUntil([&] { return counter.finished.load() >= target; }, 120);
  const double ms = msSince(t);
  // Reports that failed wait for the tracker's own retry; the row says how many.
  trackerPending += int(tracker->pendingReports().size());
  return ms;
}

size_t discard(char*, size_t size, size_t n, void*) { return size * n; }
size_t collect(char* p, size_t size, size_t n, void* out) {
  static_cast<std::string*>(out)->append(p, size * n);
  return size * n;
}

// One pass of the plain loop over `urls`, all at once; answers the URLs that failed.
std::vector<std::string> plainMultiPass(const std::vector<std::string>& urls, std::string& firstError) {
  CURLM* multi = curl_multi_init();
  std::map<CURL*, std::string> easies;
  for (const auto& u : urls) {
    CURL* e = curl_easy_init();
    curl_easy_setopt(e, CURLOPT_URL, u.c_str());
    curl_easy_setopt(e, CURLOPT_CAINFO, sandbox->caFile().c_str());
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, 30000L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, discard);
    curl_multi_add_handle(multi, e);
    easies.emplace(e, u);
  }
  std::vector<std::string> failed;
  int running = 1;
  while (running) {
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
      if (m->msg != CURLMSG_DONE) continue;
      long status = 0;
      curl_easy_getinfo(m->easy_handle, CURLINFO_RESPONSE_CODE, &status);
      if (m->data.result != CURLE_OK || status / 100 != 2) {
        failed.push_back(easies[m->easy_handle]);
        if (firstError.empty())
          firstError = std::string(curl_easy_strerror(m->data.result)) + " status " + std::to_string(status);
      }
    }
    if (running) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  for (auto& [e, u] : easies) {
    curl_multi_remove_handle(multi, e);
    curl_easy_cleanup(e);
  }
  curl_multi_cleanup(multi);
  return failed;
}

// The plain loop, with the failures fetched again (as the tracker retries its own) so
// both sides deliver every report.
double plainMultiRound(int round, int& retried) {
  auto urls = trackingURLs(round);
  auto t = Clock::now();
  std::string firstError;
  for (int pass = 0; pass < 5 && !urls.empty(); ++pass) {
    urls = plainMultiPass(urls, firstError);
    retried += int(urls.size());
  }
  const double ms = msSince(t);
  if (!urls.empty()) {
    std::fprintf(stderr, "plain loop: %zu of %d failed five times, first error: %s\n", urls.size(), kUrls,
                 firstError.c_str());
    std::exit(1);
  }
  return ms;
}

void trackingRow(int rounds) {
  auto counter = std::make_shared<FinishCounter>(qvad::HttpSession::shared());
  qvad::ScopedServiceOverride<qvad::HttpSession> session(qvad::HttpSession::slot(), counter);
  std::vector<double> ours, peer;
  int round = 0, retried = 0;
  for (int r = 0; r < rounds; ++r) {
    ours.push_back(trackerRound(*counter, round++));
    peer.push_back(plainMultiRound(round++, retried));
  }
  Row row{"tracking", median(ours), median(peer), "ms", median(ours) / median(peer), "ratio <= 1.2",
          median(ours) / median(peer) <= 1.2};
  row.detail = {{"urls", kUrls}, {"rounds", rounds}, {"plainRefetched", retried}, {"trackerLeftPending", trackerPending}};
  emit(row);
}

// showAd until the badge is visible over the key window's screen.
double showAdOnce(const std::shared_ptr<qvad::ViewController>& host) {
  auto* q = qvad::HeadlessMainQueue::current();
  auto t = Clock::now();
  qvad::QvInterActiveAdManager::shared().showAd(1.0, qvad::kQvDefaultAdOrigin);
  std::shared_ptr<qvad::QvInterActiveAdView> badge;
  const bool shown = q->runUntil(
      [&] {
        for (const auto& v : host->view()->subviews())
          if (auto b = std::dynamic_pointer_cast<qvad::QvInterActiveAdView>(v)) badge = b;
        return badge && !badge->isHidden();
      },
      30);
  const double ms = msSince(t);
  if (!shown) {
    std::fprintf(stderr, "tracker_bench: the badge did not appear\n");
    std::exit(1);
  }
  badge->removeFromSuperview();
  q->runUntilIdle();
  return ms;
}

// The same exchange with plain libcurl on one kept handle (ours keeps its connections
// too): the signed query as a POST, its JSON, the GIF fetched or read from the file the
// cold run wrote, and giflib's decode of it.
class PlainShowAd {
 public:
  PlainShowAd() : curl_(curl_easy_init()), impressionCurl_(curl_easy_init()) {
    for (CURL* c : {curl_, impressionCurl_}) {
      curl_easy_setopt(c, CURLOPT_CAINFO, sandbox->caFile().c_str());
      curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
    }
  }
  ~PlainShowAd() {
    curl_easy_cleanup(curl_);
    curl_easy_cleanup(impressionCurl_);
  }

  double run(bool warm, const std::string& file) {
    const qvad::ParameterMap params{{"deviceId", qvad::Utils::getMyIDFA()}, {"network", "wifi"}};
    const std::string url = qvad::Utils::getURL(qvad::queryEndpoint(), params);
    auto t = Clock::now();
    std::string reply = fetch(url, true);
    auto parsed = nlohmann::json::parse(reply);
    auto image = parsed.value("image", std::string());
    // The impression report goes out beside the badge, as the library's does, on a
    // handle of its own; the figure does not wait for it.
    std::thread impression([this, u = parsed.value("impl", std::string())] { get(impressionCurl_, u); });
    std::string gif;
    if (warm) {
      gif = qvad::readFile(file, 8u << 20).value_or("");
    } else {
      gif = fetch(image, false);
      qvad::writeFileAtomically(file, gif, 0644);
    }
    qvad::GifMemoryInput in{reinterpret_cast<const unsigned char*>(gif.data()), gif.size(), 0};
    int err = 0;
    GifFileType* g = DGifOpen(&in, qvad::readGifMemoryInput, &err);
    const bool ok = g && DGifSlurp(g) == GIF_OK;
    if (g) DGifCloseFile(g, &err);
    const double ms = msSince(t);
    impression.join();
    if (!ok) {
      std::fprintf(stderr, "tracker_bench: the plain exchange got no GIF from %s\n", image.c_str());
      std::exit(1);
    }
    return ms;
  }

 private:
  std::string fetch(const std::string& url, bool post) {
    std::string body;
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    if (post) {
      curl_easy_setopt(curl_, CURLOPT_POST, 1L);
      curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, 0L);
      curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, "");
    } else {
      curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(curl_) != CURLE_OK) {
      std::fprintf(stderr, "tracker_bench: plain fetch of %s failed\n", url.c_str());
      std::exit(1);
    }
    return body;
  }
  static void get(CURL* c, const std::string& url) {
    std::string body;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(c);
  }
  CURL* curl_;
  CURL* impressionCurl_;
};

void showAdRows(int rounds) {
  auto host = std::make_shared<qvad::ViewController>();
  auto window = std::make_shared<qvad::Window>();
  window->setRootViewController(host);
  window->makeKeyAndVisible();
  const std::filesystem::path docs = qvad::QvConfiguration::documentsDirectory();
  const std::string plainFile = docs.parent_path() / "plain-badge.gif";
  auto emptyCache = [&] {
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(docs, ec)) std::filesystem::remove(f.path(), ec);
  };
  PlainShowAd plain;
  showAdOnce(host);  // connections open on both sides before the first figure
  plain.run(false, plainFile);
  for (bool warm : {false, true}) {
    std::vector<double> ours, peer;
    for (int r = 0; r < rounds; ++r) {
      if (!warm) emptyCache();
      ours.push_back(showAdOnce(host));
      peer.push_back(plain.run(warm, plainFile));
    }
    const double ratio = median(ours) / median(peer);
    Row row{warm ? "showAd-warm" : "showAd-cold", median(ours), median(peer), "ms", ratio, "ratio <= 1.3",
            ratio <= 1.3};
    row.detail = {{"rounds", rounds}};
    emit(row);
  }
  qvad::Application::shared().setKeyWindow(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = roundsArg(argc, argv, 5);
  char tmpl[] = "/tmp/qvad-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  qvad::QvConfiguration::setDataDirectory(std::string(tmpl) + "/data");
  qvad::QvConfiguration::setDocumentsDirectory(std::string(tmpl) + "/Documents");
  // QVAD_BENCH_LOG=1 shows the library's console lines with their time, to see where
  // a figure's time goes.
  if (std::getenv("QVAD_BENCH_LOG")) {
    qvad::QvConfiguration::setLogSink([t0 = Clock::now()](std::string_view line) {
      std::fprintf(stderr, "%9.3f ms %.*s\n", msSince(t0), int(std::min<std::size_t>(line.size(), 100)), line.data());
    });
  } else {
    qvad::QvConfiguration::setLogSink([](std::string_view) {});
  }
  std::filesystem::create_directories(std::string(tmpl) + "/Documents");
  qvad::MainQueue::main();
  sandbox = new qvad::testing::SandboxProcess(QVAD_SANDBOX_BIN);
  if (!sandbox->ok()) {
    std::fprintf(stderr, "tracker_bench: %s\n", sandbox->error().c_str());
    return 1;
  }
  qvad::QvConfiguration::setApiBaseURL(sandbox->baseURL());
  qvad::QvConfiguration::setCAFile(sandbox->caFile());
  bool started = false;
  qvad::QvInterActiveAdManager::shared().start("demo-app", "demo-secret", [&](std::optional<qvad::QvError> e) {
    started = !e;
  });
  qvad::HeadlessMainQueue::current()->runUntil([&] { return started; }, 30);
  if (!started) {
    std::fprintf(stderr, "tracker_bench: start-up against the sandbox failed\n");
    return 1;
  }
  showAdRows(std::max(rounds, 9));
  trackingRow(rounds);
  delete sandbox;
  std::filesystem::remove_all(tmpl);
  return 0;
}
