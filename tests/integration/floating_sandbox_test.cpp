// The floating ad end to end against qvad-sandbox over HTTPS on loopback: start-up, the
// badge shown, one impression, a tap opening the in-app browser with one click, and the
// close button. With QVAD_SCREENSHOT_DIR set, screenshots of the badge and browser go there.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/main_queue.h"
#include "platform/render/renderer.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/window.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "support/sandbox_suite.h"
#include "ui/open_sfvc_manager.h"

namespace qvad {
namespace {

using nlohmann::json;

struct Seen {
  int show = 0, click = 0, close = 0, failed = 0;
};

class FloatingSandboxTest : public testing::SandboxSuite<FloatingSandboxTest> {
 protected:
  void SetUp() override { useSandbox(); }
  void TearDown() override {
    queue().runFor(1);
    Application::shared().setKeyWindow(nullptr);
    leaveSandbox();
  }
  static HeadlessMainQueue& queue() { return *HeadlessMainQueue::current(); }

  static HttpResponse fetch(const std::string& path, const char* method = "GET",
                            std::optional<std::string> body = std::nullopt) {
    return fetchSandbox(path, method, std::move(body));
  }
  static json counts() {
    auto body = fetch("/_sandbox/counts").body.value_or("");
    return json::parse(body, nullptr, false);
  }
  static int count(const char* kind) { return counts()[kind].value("badge", 0); }
  static void screenshot(const View& root, const char* name) {
    if (const char* dir = std::getenv("QVAD_SCREENSHOT_DIR")) renderViewToPng(root, std::string(dir) + "/" + name, 2);
  }
};

TEST_F(FloatingSandboxTest, BadgeShowsCountsOneImpressionOpensTheLandingPageCountsOneClickAndCloses) {
  auto host = std::make_shared<ViewController>();
  auto window = std::make_shared<Window>();
  window->setRootViewController(host);
  window->makeKeyAndVisible();
  host->view()->setBackgroundColor(Color::rgb(236, 239, 244));

  bool started = false;
  QvInterActiveAdManager::shared().start("demo-app", "demo-secret", [&](std::optional<QvError> e) {
    started = !e;
  });
  ASSERT_TRUE(waitFor([&] { return started; }));

  Seen seen;
  QvInterActiveAdManager::shared().showAd(
      1.0, kQvDefaultAdOrigin, nullptr, [&] { ++seen.show; }, [&] { ++seen.click; }, [&] { ++seen.close; },
      [&](std::optional<QvError>) { ++seen.failed; });
  std::shared_ptr<QvInterActiveAdView> badge;
  ASSERT_TRUE(waitFor([&] {
    for (const auto& v : host->view()->subviews())
      if (auto b = std::dynamic_pointer_cast<QvInterActiveAdView>(v)) badge = b;
    return badge && !badge->isHidden();
  })) << "the badge appears once its GIF has loaded";
  EXPECT_EQ(seen.show, 1);
  EXPECT_EQ(seen.failed, 0);
  ASSERT_TRUE(waitFor([&] { return count("impl") >= 1; }));
  screenshot(*window, "floating_badge.png");

  ASSERT_TRUE(badge->gifView()->tap());
  EXPECT_EQ(seen.click, 1);
  EXPECT_EQ(badge->superview(), host->view()) << "a click leaves the badge in place";
  auto browser = OpenSFVCManager::shared().safariViewController();
  ASSERT_TRUE(browser);
  EXPECT_EQ(browser->url(), sandbox_->baseURL() + "/landing/badge");
  ASSERT_TRUE(waitFor([&] { return host->presentedViewController() == browser && !browser->transitionInProgress(); }));
  ASSERT_TRUE(waitFor([&] { return count("click") >= 1; }));
  EXPECT_EQ(fetch("/landing/badge").statusCode, 200);
  screenshot(*window, "floating_browser.png");

  ASSERT_TRUE(browser->dismissButton()->tap());
  ASSERT_TRUE(waitFor([&] { return !host->presentedViewController(); }));
  ASSERT_TRUE(badge->closeButton()->tap());
  EXPECT_FALSE(badge->superview());
  EXPECT_EQ(seen.close, 1);

  queue().runFor(0.5);
  const json c = counts();
  EXPECT_EQ(c["impl"].value("badge", 0), 1) << c.dump();
  EXPECT_EQ(c["click"].value("badge", 0), 1) << c.dump();
}

TEST_F(FloatingSandboxTest, TrackingEndpointsCountAndCanBeToldToFail) {
  ASSERT_EQ(fetch("/_sandbox/counts/reset", "POST").statusCode, 200);
  EXPECT_EQ(fetch("/track/impl?ad=x").statusCode, 204);
  EXPECT_EQ(fetch("/track/impl").statusCode, 400) << "no ad id";
  EXPECT_EQ(fetch("/track/click?ad=" + std::string(65, 'a')).statusCode, 400);
  ASSERT_EQ(fetch("/_sandbox/track-fail", "POST", R"({"count":1,"status":404})").statusCode, 200);
  EXPECT_EQ(fetch("/track/click?ad=x").statusCode, 404);
  EXPECT_EQ(fetch("/track/click?ad=x").statusCode, 204);
  EXPECT_EQ(counts(), json::parse(R"({"impl":{"x":1},"click":{"x":1}})"));
  // A rule for one ad leaves the others alone; a count of 0 ends it.
  ASSERT_EQ(fetch("/_sandbox/track-fail", "POST", R"({"count":5,"status":503,"ad":"y"})").statusCode, 200);
  EXPECT_EQ(fetch("/track/impl?ad=x").statusCode, 204);
  EXPECT_EQ(fetch("/track/impl?ad=y").statusCode, 503);
  ASSERT_EQ(fetch("/_sandbox/track-fail", "POST", R"({"count":0})").statusCode, 200);
  EXPECT_EQ(fetch("/track/impl?ad=y").statusCode, 204);
  EXPECT_EQ(fetch("/_sandbox/track-fail", "POST", R"({"count":1,"ad":7})").statusCode, 400);
  const auto gif = fetch("/assets/badge.gif");
  ASSERT_TRUE(gif.body);
  EXPECT_EQ(gif.body->substr(0, 6), "GIF89a");
}

}  // namespace
}  // namespace qvad
