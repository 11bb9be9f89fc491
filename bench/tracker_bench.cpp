// 1,000 tracking URLs through the tracker next to a plain libcurl multi loop fetching
// the same URLs, both against qvad-sandbox over HTTPS on loopback; and the time from
// showAd to the badge on screen, with a cold and a warm GIF cache.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/tracker_manager.h"
#include "platform/http_session.h"
#include "platform/service_slot.h"
#include "platform/main_queue.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/window.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "support/sandbox_process.h"

namespace {

constexpr int kUrls = 1000;
qvad::testing::SandboxProcess* sandbox = nullptr;

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

void BM_Tracker_1000URLs(benchmark::State& state) {
  auto counter = std::make_shared<FinishCounter>(qvad::HttpSession::shared());
  qvad::ScopedServiceOverride<qvad::HttpSession> session(qvad::HttpSession::slot(), counter);
  auto* q = qvad::HeadlessMainQueue::current();
  int round = 0;
  for (auto _ : state) {
    auto tracker = qvad::TrackerManager::make();
    const auto urls = trackingURLs(round++);
    const int target = counter->finished.load() + kUrls;
    tracker->logTracker(urls);
    q->runUntil([&] { return counter->finished.load() >= target; }, 120);
    if (!tracker->pendingReports().empty()) state.SkipWithError("some tracking URLs failed");
  }
  state.counters["urls"] = kUrls;
}
BENCHMARK(BM_Tracker_1000URLs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

size_t discard(char*, size_t size, size_t n, void*) { return size * n; }

void BM_PlainCurlMulti_1000URLs(benchmark::State& state) {
  int round = 100;
  for (auto _ : state) {
    const auto urls = trackingURLs(round++);
    CURLM* multi = curl_multi_init();
    std::vector<CURL*> easies;
    for (const auto& u : urls) {
      CURL* e = curl_easy_init();
      curl_easy_setopt(e, CURLOPT_URL, u.c_str());
      curl_easy_setopt(e, CURLOPT_CAINFO, sandbox->caFile().c_str());
      curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, 30000L);
      curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, discard);
      curl_multi_add_handle(multi, e);
      easies.push_back(e);
    }
    int running = 1;
    int ok = 0;
    std::string firstError;
    while (running) {
      curl_multi_perform(multi, &running);
      int left = 0;
      while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
        long status = 0;
        curl_easy_getinfo(m->easy_handle, CURLINFO_RESPONSE_CODE, &status);
        if (m->msg == CURLMSG_DONE && m->data.result == CURLE_OK && status / 100 == 2) {
          ++ok;
        } else if (m->msg == CURLMSG_DONE && firstError.empty()) {
          firstError = std::string(curl_easy_strerror(m->data.result)) + " status " + std::to_string(status);
        }
      }
      if (running) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    for (CURL* e : easies) {
      curl_multi_remove_handle(multi, e);
      curl_easy_cleanup(e);
    }
    curl_multi_cleanup(multi);
    if (ok != kUrls) {
      std::fprintf(stderr, "plain loop: %d of %d failed, first: %s\n", kUrls - ok, kUrls, firstError.c_str());
      state.SkipWithError("some plain fetches failed");
    }
  }
  state.counters["urls"] = kUrls;
}
BENCHMARK(BM_PlainCurlMulti_1000URLs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// showAd until the badge is visible over the key window's screen. The first run finds
// an empty GIF cache; later runs find the badge's file there.
void showAdOnce(benchmark::State& state, const std::shared_ptr<qvad::ViewController>& host) {
  auto* q = qvad::HeadlessMainQueue::current();
  qvad::QvInterActiveAdManager::shared().showAd(1.0, qvad::kQvDefaultAdOrigin);
  std::shared_ptr<qvad::QvInterActiveAdView> badge;
  const bool shown = q->runUntil(
      [&] {
        for (const auto& v : host->view()->subviews())
          if (auto b = std::dynamic_pointer_cast<qvad::QvInterActiveAdView>(v)) badge = b;
        return badge && !badge->isHidden();
      },
      30);
  if (!shown) state.SkipWithError("the badge did not appear");
  if (badge) badge->removeFromSuperview();
}

void BM_ShowAdToVisibleBadge(benchmark::State& state) {
  const bool warm = state.range(0) != 0;
  auto* q = qvad::HeadlessMainQueue::current();
  auto host = std::make_shared<qvad::ViewController>();
  auto window = std::make_shared<qvad::Window>();
  window->setRootViewController(host);
  window->makeKeyAndVisible();
  const std::filesystem::path docs = qvad::QvConfiguration::documentsDirectory();
  if (warm) showAdOnce(state, host);  // fills the cache
  for (auto _ : state) {
    if (!warm) {
      state.PauseTiming();
      std::error_code ec;
      for (const auto& f : std::filesystem::directory_iterator(docs, ec)) std::filesystem::remove(f.path(), ec);
      state.ResumeTiming();
    }
    showAdOnce(state, host);
  }
  q->runUntilIdle();
  qvad::Application::shared().setKeyWindow(nullptr);
}
BENCHMARK(BM_ShowAdToVisibleBadge)->Arg(0)->Arg(1)->ArgName("warm")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/qvad-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  qvad::QvConfiguration::setDataDirectory(std::string(tmpl) + "/data");
  qvad::QvConfiguration::setDocumentsDirectory(std::string(tmpl) + "/Documents");
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
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  delete sandbox;
  std::filesystem::remove_all(tmpl);
  return 0;
}
