// The fault matrix (docs/fault-matrix.md): the library against a misbehaving ad server,
// badge host, network and disk, each case asserting what the host sees. Rows that other
// suites already cover are named in the table and not repeated here.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/main_queue.h"
#include "platform/render/renderer.h"
#include "platform/service_slot.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "support/gif_writer.h"
#include "support/log_capture.h"
#include "support/private_network.h"
#include "support/sandbox_suite.h"
#include "support/temp_dir.h"
#include "ui/gif/gif_decoder.h"
#include "ui/qv_gif_view.h"

namespace qvad {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr double kWait = 20;  // seconds of real time; a loaded CI machine is slow
constexpr const char* kBadgePath = "/assets/badge.gif";

using testing::StartOutcome;
using testing::expectTransportError;

struct BadgeOutcome {
  int shows = 0;
  int failures = 0;
  std::optional<QvError> error;
  std::shared_ptr<QvInterActiveAdView> badge;
  bool visible() const { return badge && !badge->isHidden(); }
};

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// A GIF written byte by byte: a w x h canvas and `frames` images of fw x fh, each with a
// code stream of one pixel and the end code. What it declares is what a bomb costs;
// what it sends is a few bytes an image.
std::string rawGif(int w, int h, std::size_t frames, int fw, int fh) {
  std::string g = "GIF89a";
  auto le16 = [&g](int v) {
    g.push_back(static_cast<char>(v & 0xFF));
    g.push_back(static_cast<char>((v >> 8) & 0xFF));
  };
  le16(w);
  le16(h);
  g += std::string("\x80\x00\x00", 3);                  // a global table of two colours
  g += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
  for (std::size_t i = 0; i < frames; ++i) {
    g.push_back('\x2C');
    le16(0);
    le16(0);
    le16(fw);
    le16(fh);
    g.push_back('\0');
    g += std::string("\x02\x02\x44\x01\x00", 5);  // minimum code size 2; clear, 0, end
  }
  g.push_back('\x3B');
  return g;
}

class FaultMatrix : public testing::SandboxSuite<FaultMatrix> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(useSandbox());
    counting_ = std::make_shared<testing::CountingSession>(HttpSession::shared());
    override_.emplace(HttpSession::slot(), counting_);
    savedDocuments_ = QvConfiguration::documentsDirectory();
    QvConfiguration::setDocumentsDirectory(documents_.path());
    container_ = View::make<View>(Rect{0, 0, 375, 812});
  }
  void TearDown() override {
    queue().runUntilIdle();
    override_.reset();
    QvConfiguration::setDocumentsDirectory(savedDocuments_);
    QvConfiguration::setRequestTimeout(0);
    leaveSandbox();
  }
  static HeadlessMainQueue& queue() { return *HeadlessMainQueue::current(); }

  // Starts and runs the main loop until the exchange has finished: some replies call nothing.
  StartOutcome start() {
    const int before = counting_->finished();
    return testing::startAndRun("demo-app", "demo-secret", [&] { return counting_->finished() > before; }, kWait);
  }

  // Starts, asks for the floating ad over the container and runs the main loop until the
  // badge is on screen or the host has heard a failure.
  BadgeOutcome showBadge() {
    StartOutcome started = start();
    EXPECT_FALSE(started.error) << started.error->errorDescription.value_or("");
    while (!container_->subviews().empty()) container_->subviews().back()->removeFromSuperview();
    // The closures hold the outcome weakly: the badge keeps them, and the outcome the badge.
    auto out = std::make_shared<BadgeOutcome>();
    std::weak_ptr<BadgeOutcome> weak = out;
    QvInterActiveAdManager::shared().showAd(
        1.0, kQvDefaultAdOrigin, container_,
        [weak] {
          if (auto o = weak.lock()) ++o->shows;
        },
        nullptr, nullptr,
        [weak](std::optional<QvError> e) {
          if (auto o = weak.lock()) {
            ++o->failures;
            o->error = std::move(e);
          }
        });
    EXPECT_TRUE(waitFor([&] {
      for (const auto& v : container_->subviews())
        if (auto b = std::dynamic_pointer_cast<QvInterActiveAdView>(v)) out->badge = b;
      return out->failures > 0 || out->visible();
    }, kWait));
    queue().runFor(0.1);  // a second failure or a late show would land now
    return *out;
  }

  // The badge's next download gets `rule` (a sandbox misbehaviour).
  static void nextBadgeDownload(json rule) {
    rule["path"] = kBadgePath;
    ASSERT_TRUE(sandbox_->next(rule));
  }

  // The host heard once that the GIF was refused for `reason`; nothing shows or is kept.
  void expectRefused(const BadgeOutcome& o, long code, const std::string& reason) {
    EXPECT_EQ(o.shows, 1) << "laid out before its GIF came";
    ASSERT_EQ(o.failures, 1);
    ASSERT_TRUE(o.error);
    EXPECT_EQ(o.error->errorCode, code) << o.error->errorDescription.value_or("");
    const std::string text = o.error->errorDescription.value_or("");
    EXPECT_EQ(text.rfind("Optional(", 0), 0u) << text;
    EXPECT_NE(text.find(reason), std::string::npos) << text;
    EXPECT_FALSE(o.visible());
    EXPECT_EQ(cachedFiles(), 0u);
  }

  std::size_t cachedFiles() const {
    std::error_code ec;
    std::size_t n = 0;
    for (auto it = fs::directory_iterator(documents_.path(), ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
      ++n;
    return n;
  }

  static std::string badgeURL() { return sandbox_->baseURL() + kBadgePath; }
  static std::string sandboxBadge() { return fetchSandbox(kBadgePath).body.value_or(""); }

  testing::TempDir documents_;
  std::string savedDocuments_;
  std::shared_ptr<View> container_;
  std::shared_ptr<testing::CountingSession> counting_;
  std::optional<ScopedServiceOverride<HttpSession>> override_;
};

// --- the ad platform's replies ---

TEST_F(FaultMatrix, AWrongHostNameIsAnUntrustedCertificate) {
  // The same CA, a certificate for another name, served on 127.0.0.1.
  testing::SandboxProcess elsewhere(QVAD_SANDBOX_BIN, {}, {"--cert-name", "ads.elsewhere.test"});
  ASSERT_TRUE(elsewhere.ok()) << elsewhere.error();
  QvConfiguration::setApiBaseURL(elsewhere.baseURL());
  QvConfiguration::setCAFile(elsewhere.caFile());
  StartOutcome o = start();
  expectTransportError(o, URLError::serverCertificateUntrusted);
  EXPECT_FALSE(managerInternal::startSuccess());
  EXPECT_TRUE(elsewhere.requestLog().empty()) << "no request got through";
}

TEST_F(FaultMatrix, ABodyThatStopsHalfWayIsALostConnectionNeverAPartialReply) {
  ASSERT_TRUE(sandbox_->next({{"cutAfter", 8}}));
  expectTransportError(start(), URLError::networkConnectionLost);
  EXPECT_FALSE(managerInternal::startSuccess());
}

TEST_F(FaultMatrix, EmptyAndTruncatedJSONBodiesCallNothingAndChangeNothing) {
  ASSERT_FALSE(start().error);
  ASSERT_TRUE(managerInternal::startSuccess());
  for (const char* body : {"", R"({"code":0,"msg":")"}) {
    SCOPED_TRACE(std::string("body: ") + body);
    ASSERT_TRUE(sandbox_->next({{"body", body}}));
    StartOutcome o = start();
    EXPECT_EQ(o.calls, 0);
    EXPECT_TRUE(managerInternal::startSuccess()) << "start-up stays as it was";
  }
}

// --- the badge's GIF ---

TEST_F(FaultMatrix, GifErrorPagesAreReportedShownNowhereAndNotCached) {
  nextBadgeDownload({{"status", 404}, {"body", "<html><body>Not Found</body></html>"}, {"contentType", "text/html"}});
  expectRefused(showBadge(), URLError::badServerResponse, "status 404");
  nextBadgeDownload({{"body", "<html><body>Service Unavailable</body></html>"}, {"contentType", "text/html"}});
  expectRefused(showBadge(), URLError::cannotDecodeContentData, "not a GIF");
  // The next load downloads again and plays.
  BadgeOutcome ok = showBadge();
  EXPECT_TRUE(ok.visible());
  EXPECT_EQ(ok.failures, 0);
  EXPECT_EQ(cachedFiles(), 1u);
}

TEST_F(FaultMatrix, AGifDownloadCutOffOrNeverAnsweredFailsWithItsTransportCode) {
  const std::string gif = sandboxBadge();
  ASSERT_GT(gif.size(), 100u);
  nextBadgeDownload({{"cutAfter", gif.size() / 2}});
  expectRefused(showBadge(), URLError::networkConnectionLost, "");

  // The host's request time-out bounds a server that takes the request and never answers.
  QvConfiguration::setRequestTimeout(1);
  nextBadgeDownload({{"delayMs", 15000}});
  const auto before = std::chrono::steady_clock::now();
  expectRefused(showBadge(), URLError::timedOut, "");
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
}

TEST_F(FaultMatrix, ATruncatedGifPlaysTheFramesItHoldsOrIsRefused) {
  const std::string gif = sandboxBadge();
  const std::size_t frames = scanGif(gif)->frames.size();
  // Served whole but cut in the middle of its images: the whole frames before the cut play.
  nextBadgeDownload({{"bodyHex", hex(gif.substr(0, gif.size() * 6 / 10))}, {"contentType", "image/gif"}});
  BadgeOutcome cut = showBadge();
  ASSERT_TRUE(cut.visible());
  EXPECT_EQ(cut.failures, 0);
  EXPECT_GT(cut.badge->gifView()->imageArr().size(), 1u);
  EXPECT_LT(cut.badge->gifView()->imageArr().size(), frames);
  EXPECT_EQ(cachedFiles(), 1u);

  // Cut before its first image: nothing to play.
  fs::remove(QvGIFView::cachePath(badgeURL()));
  nextBadgeDownload({{"bodyHex", hex(gif.substr(0, 20))}, {"contentType", "image/gif"}});
  expectRefused(showBadge(), URLError::cannotDecodeContentData, "");
}

TEST_F(FaultMatrix, GifBombsAndUndrawableCanvasesAreRefusedBeforeAnyPixelIsMade) {
  struct Bomb {
    const char* what;
    std::string bytes;
    const char* reason;
  };
  const Bomb bombs[] = {
      {"65,535 x 65,535 canvas", rawGif(65535, 65535, 1, 1, 1), "wider or taller than the 32767 pixels"},
      {"65,535 x 1 canvas", rawGif(65535, 1, 1, 1, 1), "wider or taller than the 32767 pixels"},
      {"100,000 one-pixel frames", rawGif(1, 1, 100000, 1, 1), "more frames than the limit"},
      // 13 frames declared 2048 x 2048: 260 MiB of canvases and indices from 200 bytes.
      {"a tiny file expanding past the decoded limit", rawGif(2048, 2048, 13, 2048, 2048),
       "decoded size larger than the limit"},
  };
  for (const Bomb& b : bombs) {
    SCOPED_TRACE(b.what);
    nextBadgeDownload({{"bodyHex", hex(b.bytes)}, {"contentType", "image/gif"}});
    expectRefused(showBadge(), URLError::cannotDecodeContentData, b.reason);
  }
}

TEST_F(FaultMatrix, ZeroDelayOnePixelFramesPlayWithoutABusyLoop) {
  testing::GifWriterSpec spec;
  spec.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  for (int i = 0; i < 500; ++i) spec.frames.push_back(testing::solidFrame(0, 0, 1, 1, std::uint8_t(i % 4), 0));
  nextBadgeDownload({{"bodyHex", hex(testing::writeGif(spec))}, {"contentType", "image/gif"}});
  BadgeOutcome o = showBadge();
  ASSERT_TRUE(o.visible());
  auto gifView = o.badge->gifView();
  EXPECT_DOUBLE_EQ(gifView->timeArr().front(), 0.1) << "a stored 0 plays for the clamped delay";

  // A display's worth of frames: the badge drawn every 1/60 s for a wall-clock second,
  // with the process's CPU time over that second (every thread) well under a core.
  auto drawing = std::make_shared<bool>(true);
  auto frame = std::make_shared<std::function<void()>>();
  *frame = [drawing, badge = std::weak_ptr<View>(o.badge), next = std::weak_ptr(frame)] {
    auto b = badge.lock();
    auto f = next.lock();
    if (!*drawing || !b || !f) return;
    renderView(*b);
    queue().asyncAfter(1.0 / 60, *f);
  };
  queue().asyncAfter(0, *frame);
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  const auto wallStart = std::chrono::steady_clock::now();
  queue().runFor(1.0);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  getrusage(RUSAGE_SELF, &after);
  *drawing = false;
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  const double cpu =
      seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_stime);
  EXPECT_LT(cpu / wall, 0.2) << cpu << " s of CPU in " << wall << " s";
  EXPECT_GT(gifView->frames()->compositedFrames(), 5u) << "it did play";
  EXPECT_LT(gifView->frames()->compositedFrames(), 60u) << "at the clamped rate, not as fast as it could";
}

// --- the cache on disk ---

TEST_F(FaultMatrix, ACacheFileThatIsASymbolicLinkIsNeitherFollowedNorWrittenThrough) {
  testing::TempDir outside;
  testing::GifWriterSpec other;
  other.palette = {0x00FF00, 0xFF0000};
  other.frames = {testing::solidFrame(0, 0, 1, 1, 0)};
  const std::string victim = outside.path() + "/victim.gif";
  const std::string victimBytes = testing::writeGif(other);
  outside.write("victim.gif", victimBytes);
  const std::string cache = QvGIFView::cachePath(badgeURL());
  fs::create_directories(fs::path(cache).parent_path());
  fs::create_symlink(victim, cache);

  BadgeOutcome o = showBadge();
  ASSERT_TRUE(o.visible());
  EXPECT_EQ(o.badge->gifView()->imageSize(), (Size{200, 200})) << "the download plays, not the link's target";
  queue().runFor(0.2);
  std::ifstream in(victim, std::ios::binary);
  std::stringstream now;
  now << in.rdbuf();
  EXPECT_EQ(now.str(), victimBytes) << "the outside file is untouched";
  struct stat st {};
  ASSERT_EQ(lstat(cache.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode)) << "the link itself was replaced by the cache file";
}

// Runs in a mount namespace of its own (see the case below), where a read-only file
// system holds even root back.
TEST_F(FaultMatrix, AReadOnlyCacheDirectoryStillShowsTheBadgeAndKeepsNothing) {
  if (!testing::insidePrivateMounts()) GTEST_SKIP() << "runs only inside its own mount namespace";
  ASSERT_EQ(mount("qvad-read-only", documents_.path().c_str(), "tmpfs", MS_RDONLY, "size=64k"), 0) << errno;
  testing::LogCapture console;
  for (int load = 0; load < 2; ++load) {
    SCOPED_TRACE(load == 0 ? "first load" : "second load, downloaded again");
    BadgeOutcome o = showBadge();
    EXPECT_TRUE(o.visible());
    EXPECT_EQ(o.failures, 0);
    EXPECT_EQ(cachedFiles(), 0u);
  }
  EXPECT_TRUE(console.contains("QvGIFView: cannot write"));
  umount2(documents_.path().c_str(), MNT_DETACH);
}

TEST(FaultMatrixOutside, AReadOnlyCacheDirectoryInItsOwnMountNamespace) {
  if (testing::insidePrivateMounts()) GTEST_SKIP() << "the inner run";
  if (!testing::privateMountsAvailable()) GTEST_SKIP() << "cannot make a mount namespace here (unshare -m)";
  EXPECT_EQ(testing::runSelfInPrivateMounts("FaultMatrix.AReadOnlyCacheDirectoryStillShowsTheBadgeAndKeepsNothing"), 0);
}

// --- the network ---

// Inside a network namespace of its own nothing resolves: no name server is reachable.
TEST(FaultMatrixOutside, AnUnknownHostInAPrivateNetwork) {
  if (!testing::insidePrivateNetwork()) GTEST_SKIP() << "runs only inside its own network namespace";
  ASSERT_TRUE(testing::onlyLoopbackInterface()) << "not an isolated network";
  QvConfiguration::setApiBaseURL("https://ads.qvad.invalid");
  StartOutcome o = testing::startAndRun("demo-app", "demo-secret", {}, kWait);
  QvConfiguration::setApiBaseURL("");
  expectTransportError(o, URLError::cannotFindHost);
}

TEST(FaultMatrixOutside, AnUnknownHostRunsInItsOwnNetworkNamespace) {
  testing::expectPassesInPrivateNetwork("FaultMatrixOutside.AnUnknownHostInAPrivateNetwork");
}

}  // namespace
}  // namespace qvad
