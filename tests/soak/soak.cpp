// qvad_soak: one process on the headless backend runs start-ups, queries, floating
// badges and tracking reports against qvad-sandbox, in ten rounds, and checks that
// resident memory, open descriptors and threads stay flat after the first round.
//
//   qvad_soak [FACTOR] [--sandbox BIN]
//
// FACTOR (default 1) scales the counts: 5,000 start-ups and as many queries, 2,000
// badges shown and closed, 10,000 tracking reports. Exit status 0 when everything
// answered as it should and nothing grew past 10 % of its level after the first round
// (the warm-up); 1 on growth, 2 on a wrong or missing answer.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "net/tracker_manager.h"
#include "platform/main_queue.h"
#include "platform/service_slot.h"
#include "platform/toolkit/view.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "qvad/qv_reward_video_ad.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "support/sandbox_process.h"

namespace {

using namespace qvad;
namespace fs = std::filesystem;

constexpr double kWait = 60;  // seconds for one batch to answer
constexpr int kRounds = 10;
constexpr int kBatch = 10;  // start-ups and queries in flight at once

struct Figures {
  long rssKiB = 0;
  long fds = 0;
  long threads = 0;
};

long entries(const char* dir) {
  long n = 0;
  std::error_code ec;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) ++n;
  return n;
}

Figures measure() {
  Figures f;
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  f.rssKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
  f.fds = entries("/proc/self/fd");
  f.threads = entries("/proc/self/task");
  return f;
}

void print(const char* when, const Figures& f) {
  std::printf("soak %-5s rss=%ld KiB fds=%ld threads=%ld\n", when, f.rssKiB, f.fds, f.threads);
  std::fflush(stdout);
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "qvad_soak: %s\n", what.c_str());
  std::exit(2);
}

HeadlessMainQueue& queue() { return *HeadlessMainQueue::current(); }

void waitFor(const std::function<bool()>& done, const std::string& what) {
  if (!queue().runUntil(done, kWait)) fail("no answer within " + std::to_string(int(kWait)) + " s: " + what);
}

class Soak {
 public:
  explicit Soak(const testing::SandboxProcess& sandbox) : sandbox_(sandbox) {
    container_ = View::make<View>(Rect{0, 0, 375, 812});
    ad_ = QvRewardVideoAd::create("reward-1");
    delegate_ = std::make_shared<QvRewardVideoAdDelegate>();
    delegate_->rewardedVideoAdDidLoad = [this](QvRewardVideoAd&) { ++queried_; };
    delegate_->rewardedVideoAdDidFailWithError = [](QvRewardVideoAd&, const QvError& e) {
      fail("a query failed: " + std::to_string(e.errorCode.value_or(0)) + " " + e.errorDescription.value_or(""));
    };
    ad_->setDelegate(delegate_);
  }

  // Start-ups and queries, kBatch of each in flight at once.
  void startsAndQueries(int count) {
    for (int done = 0; done < count;) {
      const int n = std::min(kBatch, count - done);
      const int startedBefore = started_, queriedBefore = queried_;
      for (int i = 0; i < n; ++i) {
        QvInterActiveAdManager::shared().start("demo-app", "demo-secret", [this](std::optional<QvError> e) {
          if (e) fail("a start-up failed: " + std::to_string(e->errorCode.value_or(0)) + " " +
                      e->errorDescription.value_or(""));
          ++started_;
        });
        ad_->loadAD();
      }
      waitFor([&] { return started_ - startedBefore == n && queried_ - queriedBefore == n; }, "start-ups and queries");
      done += n;
    }
  }

  // Badges shown (once their GIF has loaded) and closed, one after the other.
  void badges(int count) {
    for (int i = 0; i < count; ++i) {
      auto closed = std::make_shared<int>(0);
      QvInterActiveAdManager::shared().showAd(
          1.0, kQvDefaultAdOrigin, container_, nullptr, nullptr, [closed] { ++*closed; },
          [](std::optional<QvError> e) {
            fail("a badge failed: " + std::to_string(e ? e->errorCode.value_or(0) : 0) + " " +
                 (e ? e->errorDescription.value_or("") : ""));
          });
      std::shared_ptr<QvInterActiveAdView> badge;
      waitFor(
          [&] {
            for (const auto& v : container_->subviews())
              if (auto b = std::dynamic_pointer_cast<QvInterActiveAdView>(v)) badge = b;
            return badge && !badge->isHidden();
          },
          "a badge");
      if (!badge->closeButton()->tap() || *closed != 1 || !container_->subviews().empty())
        fail("a badge did not close");
      ++badges_;
    }
  }

  // Tracking reports in bursts the tracker takes whole (it keeps at most 1,000 waiting).
  void reports(int count) {
    auto& tracker = TrackerManager::shared();
    const std::string url = sandbox_.baseURL() + "/track/impl?ad=soak";
    for (int done = 0; done < count;) {
      const int n = std::min(100, count - done);
      tracker.logTracker(std::vector<std::string>(static_cast<std::size_t>(n), url));
      waitFor([&] { return tracker.fetchesInFlight() + tracker.fetchesWaiting() == 0; }, "tracking reports");
      done += n;
      reports_ += n;
    }
  }

  // Every report and every badge's impression counted exactly once by the sandbox.
  void checkCounts() const {
    HttpRequest r;
    r.url = sandbox_.baseURL() + "/_sandbox/counts";
    auto j = nlohmann::json::parse(testing::fetchAndWait(std::move(r), kWait).body.value_or(""), nullptr, false);
    if (!j.is_object()) fail("no counts from the sandbox");
    const int soak = j["impl"].value("soak", 0), badge = j["impl"].value("badge", 0);
    std::printf("soak counts: %d start-ups, %d queries, %d badges (%d impressions), %d reports (%d counted)\n",
                started_, queried_, badges_, badge, reports_, soak);
    if (soak != reports_ || badge != badges_) fail("tracking hits differ from the reports made");
  }

 private:
  const testing::SandboxProcess& sandbox_;
  std::shared_ptr<View> container_;
  std::shared_ptr<QvRewardVideoAd> ad_;
  std::shared_ptr<QvRewardVideoAdDelegate> delegate_;
  int started_ = 0, queried_ = 0, badges_ = 0, reports_ = 0;
};

int share(double total, int round) {
  // Round boundaries of the scaled total, so the rounds add up to it exactly.
  return int(std::lround(total * (round + 1) / kRounds)) - int(std::lround(total * round / kRounds));
}

}  // namespace

int main(int argc, char** argv) {
  double factor = 1;
  std::string sandboxBin = QVAD_SANDBOX_BIN;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--sandbox" && i + 1 < argc) {
      sandboxBin = argv[++i];
    } else {
      char* end = nullptr;
      factor = std::strtod(a.c_str(), &end);
      if (a.empty() || *end || !(factor > 0) || factor > 100) {
        std::fprintf(stderr, "usage: qvad_soak [FACTOR] [--sandbox BIN]   (FACTOR > 0, at most 100)\n");
        return 2;
      }
    }
  }

  std::string tmpl = (fs::temp_directory_path() / "qvad-soak-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) fail("mkdtemp failed");
  QvConfiguration::setDataDirectory(tmpl + "/data");
  QvConfiguration::setDocumentsDirectory(tmpl + "/Documents");
  QvConfiguration::setLogSink([](std::string_view) {});  // some 40,000 lines at factor 1
  MainQueue::slot().install(std::make_shared<HeadlessMainQueue>());

  int rc = 0;
  {
    testing::SandboxProcess sandbox(sandboxBin);
    if (!sandbox.ok()) fail("sandbox: " + sandbox.error());
    QvConfiguration::setApiBaseURL(sandbox.baseURL());
    QvConfiguration::setCAFile(sandbox.caFile());

    std::printf("soak factor %g: %d start-ups and queries, %d badges, %d tracking reports in %d rounds\n", factor,
                int(std::lround(5000 * factor)), int(std::lround(2000 * factor)), int(std::lround(10000 * factor)),
                kRounds);
    print("start", measure());
    Soak soak(sandbox);
    Figures warm;
    for (int round = 0; round < kRounds; ++round) {
      soak.startsAndQueries(share(5000 * factor, round));
      soak.badges(share(2000 * factor, round));
      soak.reports(share(10000 * factor, round));
      queue().runUntilIdle();
      const Figures now = measure();
      if (round + 1 < kRounds) print((std::to_string((round + 1) * 100 / kRounds) + "%").c_str(), now);
      if (round == 0) warm = now;
    }
    const Figures end = measure();
    print("end", end);
    soak.checkCounts();
    auto grew = [&](const char* what, long from, long to) {
      if (double(to) <= double(from) * 1.10) return;
      std::printf("soak: %s grew past 10 %% after the warm-up: %ld -> %ld\n", what, from, to);
      rc = 1;
    };
    grew("resident memory (KiB)", warm.rssKiB, end.rssKiB);
    grew("open descriptors", warm.fds, end.fds);
    grew("threads", warm.threads, end.threads);
    QvConfiguration::setApiBaseURL("");
    QvConfiguration::setCAFile("");
  }
  std::error_code ec;
  fs::remove_all(tmpl, ec);
  std::printf("soak %s\n", rc == 0 ? "flat" : "GREW");
  return rc;
}
