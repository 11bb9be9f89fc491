// QvGIFView: the cache file, the download and what is kept, fitting, key times and
// the frame the renderer shows.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/fake_http_session.h"
#include "support/gif_writer.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "platform/file_util.h"
#include "qvad/configuration.h"
#include "support/toolkit_fixture.h"
#include "ui/qv_gif_view.h"

namespace qvad {
namespace {

using testing::GifWriterSpec;
using testing::solidFrame;

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

// Frames of one colour each, in the given delays (hundredths of a second).
std::string colourGif(int w, int h, const std::vector<int>& delaysCs) {
  GifWriterSpec s;
  s.width = w;
  s.height = h;
  s.palette = {kRed, kGreen, kBlue, 0xFFFFFF};
  for (std::size_t i = 0; i < delaysCs.size(); ++i)
    s.frames.push_back(solidFrame(0, 0, w, h, std::uint8_t(i % 4), delaysCs[i]));
  return testing::writeGif(s);
}

class GifViewTest : public testing::ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    QvConfiguration::setDocumentsDirectory(docs_.path());
  }
  void TearDown() override {
    QvConfiguration::setDocumentsDirectory(saved_);
    ToolkitTest::TearDown();
  }

  std::shared_ptr<QvGIFView> view(Rect frame = {0, 20, 100, 100}) { return View::make<QvGIFView>(frame); }

  // Loads `gif` through a download and waits for the completion.
  std::shared_ptr<QvGIFView> downloaded(const std::string& url, const std::string& gif, Rect frame = {0, 20, 100, 100}) {
    auto v = view(frame);
    bool done = false;
    const std::size_t asked = session_->requests().size();
    v->showGIFImageWithWebNetWorkUrl(url, [&] { done = true; });
    // A cached file is looked at first, on a worker: the request may come a turn later.
    EXPECT_TRUE(queue().runUntil([&] { return session_->requests().size() > asked; }, 30));
    session_->replyBody(gif);
    EXPECT_TRUE(queue().runUntil([&] { return done; }, 30));
    return v;
  }

  testing::TempDir docs_;
  std::string saved_ = QvConfiguration::documentsDirectory();
  testing::ScopedFakeSession session_;
  testing::LogCapture log_;
};

TEST_F(GifViewTest, CacheFileIsTheMd5OfTheUrlInTheDocumentsDirectory) {
  EXPECT_EQ(QvGIFView::cachePath("https://ads.example.com/badge.gif"),
            docs_.path() + "/7564c5a49b0c29bbaf3da719d88b1b3d.gif");
}

TEST_F(GifViewTest, DownloadKeepsTheFileAndTheSecondLoadReadsItOffTheMainThread) {
  const std::string url = "https://127.0.0.1:1/badge.gif";
  const std::string gif = colourGif(10, 10, {10, 20, 0});
  auto first = downloaded(url, gif);
  ASSERT_EQ(session_->requests().size(), 1u);
  EXPECT_EQ(session_->requests()[0].method, "GET");
  EXPECT_EQ(session_->requests()[0].url, url);
  EXPECT_EQ(session_->requests()[0].maxBodyBytes, 8u << 20);
  EXPECT_EQ(readFile(QvGIFView::cachePath(url)), gif);
  EXPECT_EQ(first->gifurl(), "file://" + QvGIFView::cachePath(url));
  EXPECT_TRUE(log_.contains("nil"));  // the download's error line, also without an error

  auto second = view();
  bool done = false;
  second->showGIFImageWithWebNetWorkUrl(url, [&] {
    // Everything is set before the completion runs.
    EXPECT_EQ(second->imageArr().size(), 3u);
    EXPECT_NE(second->animation("KpGifView"), nullptr);
    done = true;
  });
  // The call only looked for the file; reading and scanning it is a worker's.
  EXPECT_FALSE(done);
  EXPECT_TRUE(second->imageArr().empty());
  EXPECT_TRUE(queue().runUntil([&] { return done; }, 30));
  EXPECT_EQ(session_->requests().size(), 1u);
  EXPECT_EQ(second->timeArr(), first->timeArr());

  // A view gone before the worker is back is left alone, and nothing is downloaded.
  bool goneDone = false;
  View::make<QvGIFView>(Rect{0, 20, 100, 100})->showGIFImageWithWebNetWorkUrl(url, [&] { goneDone = true; });
  auto third = view();
  bool thirdDone = false;
  third->showGIFImageWithWebNetWorkUrl(url, [&] { thirdDone = true; });
  EXPECT_TRUE(queue().runUntil([&] { return thirdDone; }, 30));
  runUntilIdle();
  EXPECT_FALSE(goneDone);
  EXPECT_EQ(session_->requests().size(), 1u);
}

TEST_F(GifViewTest, OnlyAWhole2xxBodyThatDecodesIsKeptAndEveryOtherIsReportedOnce) {
  const std::string gif = colourGif(4, 4, {10});
  struct Case {
    const char* name;
    long code;  // what `failed` hears
    std::function<void(testing::FakeHttpSession&)> reply;
  } cases[] = {
      {"error page with 200", URLError::cannotDecodeContentData,
       [](auto& s) { s.replyBody("<html>Service unavailable</html>"); }},
      {"GIF with 404", URLError::badServerResponse, [&](auto& s) { s.replyBody(gif, 404); }},
      {"redirect status", URLError::badServerResponse, [&](auto& s) { s.replyBody(gif, 302); }},
      {"truncated body", URLError::cannotDecodeContentData, [&](auto& s) { s.replyBody(gif.substr(0, 20)); }},
      {"transport error", URLError::networkConnectionLost,
       [](auto& s) { s.replyError(URLError::networkConnectionLost, "connection lost"); }},
      {"body with a transport error", URLError::networkConnectionLost,
       [&](auto& s) {
         PlatformError e;
         e.code = URLError::networkConnectionLost;
         s.complete(HttpResponse{gif, 200, e});
       }},
  };
  int expectedRequests = 0;
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string url = std::string("https://127.0.0.1:1/") + c.name;
    for (int attempt = 0; attempt < 2; ++attempt) {  // nothing is cached: the next load asks again
      auto v = view();
      bool done = false;
      std::vector<std::pair<long, std::string>> failures;
      std::size_t linesBefore = log_.lines().size();
      v->showGIFImageWithWebNetWorkUrl(url, [&] { done = true; },
                                       [&](long code, std::string text) { failures.emplace_back(code, std::move(text)); });
      // The cache file is looked for on a worker first: the request comes a turn later.
      ASSERT_TRUE(queue().runUntil([&] { return session_->requests().size() == std::size_t(expectedRequests + 1); }, 30));
      ++expectedRequests;
      c.reply(*session_);
      ASSERT_TRUE(queue().runUntil([&] {
        auto lines = log_.lines();
        for (std::size_t i = linesBefore; i < lines.size(); ++i)
          if (lines[i].find("body not kept") != std::string::npos) return true;
        return false;
      }, 30));
      runUntilIdle();
      EXPECT_FALSE(done);
      ASSERT_EQ(failures.size(), 1u);
      EXPECT_EQ(failures[0].first, c.code);
      EXPECT_EQ(failures[0].second.rfind("Optional(", 0), 0u) << failures[0].second;
      EXPECT_FALSE(std::filesystem::exists(QvGIFView::cachePath(url)));
      EXPECT_TRUE(v->imageArr().empty());
    }
  }
}

TEST_F(GifViewTest, UnusableCachedFileIsDownloadedAgain) {
  const std::string url = "https://127.0.0.1:1/old.gif";
  ASSERT_TRUE(writeFileAtomically(QvGIFView::cachePath(url), "<html>old error page</html>"));
  auto v = downloaded(url, colourGif(4, 4, {10}));
  EXPECT_EQ(session_->requests().size(), 1u);
  EXPECT_EQ(v->imageArr().size(), 1u);

  // A link where the file belongs is never followed, even to a good GIF: it is
  // downloaded again and the link itself replaced by the file.
  const std::string linked = "https://127.0.0.1:1/linked.gif", elsewhere = docs_.path() + "/elsewhere.gif";
  ASSERT_TRUE(writeFileAtomically(elsewhere, colourGif(4, 4, {10, 10})));
  std::filesystem::create_symlink(elsewhere, QvGIFView::cachePath(linked));
  EXPECT_EQ(downloaded(linked, colourGif(4, 4, {10}))->imageArr().size(), 1u);
  EXPECT_EQ(session_->requests().size(), 2u);
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(QvGIFView::cachePath(linked))));
}

TEST_F(GifViewTest, FitsTheImageKeepingTheCentre) {
  auto wide = downloaded("https://127.0.0.1:1/wide.gif", colourGif(200, 100, {10}));
  EXPECT_EQ(wide->frame(), Rect(0, 45, 100, 50));
  auto tall = downloaded("https://127.0.0.1:1/tall.gif", colourGif(100, 200, {10}));
  EXPECT_EQ(tall->frame(), Rect(25, 20, 50, 100));
  auto square = downloaded("https://127.0.0.1:1/square.gif", colourGif(30, 30, {10}), {5, 5, 80, 80});
  EXPECT_EQ(square->frame(), Rect(5, 5, 80, 80));
}

TEST_F(GifViewTest, DelaysKeyTimesAndTheAnimationOfTheWorkedExample) {
  auto v = downloaded("https://127.0.0.1:1/worked.gif", colourGif(10, 10, {10, 20, 0}));
  EXPECT_EQ(v->timeArr(), (std::vector<double>{0.1, 0.2, 0.1}));
  EXPECT_FLOAT_EQ(v->totalTime(), 0.4f);
  const KeyframeAnimation* a = v->animation("KpGifView");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->keyTimes.size(), 3u);
  EXPECT_DOUBLE_EQ(a->keyTimes[0], 0);
  EXPECT_FLOAT_EQ(float(a->keyTimes[1]), 0.25f);
  EXPECT_FLOAT_EQ(float(a->keyTimes[2]), 0.75f);
  EXPECT_FLOAT_EQ(float(a->duration), 0.4f);
  ASSERT_EQ(a->source, v->frames());
  EXPECT_EQ(a->source->frameCount(), 3u);

  auto single = downloaded("https://127.0.0.1:1/single.gif", colourGif(10, 10, {30}));
  const KeyframeAnimation* s = single->animation("KpGifView");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->keyTimes, std::vector<double>{0});
  EXPECT_FLOAT_EQ(float(s->duration), 0.3f);
}

TEST_F(GifViewTest, TheLayerShowsTheFrameTheAnimationTimeSelects) {
  auto v = downloaded("https://127.0.0.1:1/colours.gif", colourGif(4, 4, {10, 20, 10}));
  for (std::size_t i = 0; i < 3; ++i) ASSERT_NE(v->frames()->waitForFrame(i, 30), nullptr);
  const double begin = v->animation("KpGifView")->beginTime;
  auto colourAt = [&](double t) {
    auto image = v->presentedContents(begin + t);
    return image ? image->pixels()[0] & 0xFFFFFFu : 0xDEADu;
  };
  std::vector<std::uint32_t> seen;  // 0.45 s is in the next cycle; it repeats for ever
  for (double t : {0.05, 0.15, 0.29, 0.35, 0.45, 4000.15}) seen.push_back(colourAt(t));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{kRed, kGreen, kGreen, kBlue, kRed, kGreen}));
}

TEST_F(GifViewTest, ViewGoneBeforeTheDownloadEndsIsLeftAlone) {
  bool done = false;
  {
    auto v = view();
    v->showGIFImageWithWebNetWorkUrl("https://127.0.0.1:1/gone.gif", [&] { done = true; });
  }
  ASSERT_TRUE(queue().runUntil([&] { return !session_->requests().empty(); }, 30));
  session_->replyBody(colourGif(4, 4, {10}));
  // The body is still cached for the next badge.
  const std::string path = QvGIFView::cachePath("https://127.0.0.1:1/gone.gif");
  EXPECT_TRUE(queue().runUntil([&] { return std::filesystem::exists(path); }, 30));
  runUntilIdle();
  EXPECT_FALSE(done);
}

}  // namespace
}  // namespace qvad
