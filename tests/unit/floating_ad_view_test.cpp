// The floating badge: layout figures, default position, GIF-driven visibility, the
// browser's refusal, and closing. A tap's course end to end: integration/floating_sandbox_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/toolkit/image.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "support/fake_http_session.h"
#include "support/toolkit_fixture.h"
#include "ui/open_sfvc_manager.h"

namespace qvad {
namespace {

using testing::ScopedFakeSession;

const AdModel kAd{"https://ads.test/badge.gif", "https://ads.test/landing", "https://ads.test/impl",
                  "https://ads.test/click"};

struct Calls {
  int show = 0, click = 0, close = 0;
};

class FloatingAdViewTest : public testing::ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    std::remove(QvGIFView::cachePath(*kAd.imageUrl).c_str());  // every test downloads afresh
  }
  void TearDown() override {
    // Finish the downloads and tracking fetches this test started.
    while (session->pending()) session->replyBody("", 200);
    ToolkitTest::TearDown();
  }

  std::shared_ptr<QvInterActiveAdView> show(Point origin, double scale, std::shared_ptr<View> container,
                                            AdModel ad = kAd) {
    QvInterActiveAdView::showAdView(
        origin, scale, container, std::move(ad), [this] { ++calls.click; }, [this] { ++calls.show; },
        [this] { ++calls.close; });
    return container && !container->subviews().empty()
               ? std::dynamic_pointer_cast<QvInterActiveAdView>(container->subviews().back())
               : nullptr;
  }
  std::size_t requestsTo(const std::string& url) const {
    auto r = session->requests();
    return static_cast<std::size_t>(std::count_if(r.begin(), r.end(), [&](const auto& q) { return q.url == url; }));
  }

  ScopedFakeSession session;
  std::shared_ptr<View> container = View::make(Rect{0, 0, 375, 812});
  Calls calls;
};

// Only both coordinates at -1000 select the default place near the bottom-right corner,
// which uses the unscaled offsets: a double badge overhangs by 90.
TEST_F(FloatingAdViewTest, OriginsScalesAndTheDefaultPlace) {
  const struct {
    Point origin;
    double scale;
    Rect frame;
  } rows[] = {{{-1000, -1000}, 1, {265, 610.8, 100, 120}},
              {{20, 100}, 1.5, {20, 80, 150, 170}},
              {{-1000, 5}, 1, {-1000, -15, 100, 120}},
              {{-1000, -1000}, 2, {265, 610.8, 200, 220}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.origin.x) + "," + std::to_string(row.origin.y) + " at " + std::to_string(row.scale));
    auto badge = show(row.origin, row.scale, container);
    ASSERT_TRUE(badge);
    EXPECT_NEAR(badge->frame().x(), row.frame.x(), 1e-9);
    EXPECT_NEAR(badge->frame().y(), row.frame.y(), 1e-9);
    EXPECT_EQ(badge->frame().size, row.frame.size);
    EXPECT_EQ(badge->gifView()->frame(), Rect(0, 20, 100 * row.scale, 100 * row.scale));
    EXPECT_EQ(badge->closeButton()->frame(), Rect(100 * row.scale - 20, 0, 15, 15));
  }
  EXPECT_EQ(container->subviews().size(), 4u) << "every call adds a badge";
  auto badge = std::static_pointer_cast<QvInterActiveAdView>(container->subviews().front());
  EXPECT_NEAR(badge->origin()->y, 630.8, 1e-9);
  EXPECT_TRUE(badge->closeButton()->image()) << "the ic_close artwork";
}

TEST_F(FloatingAdViewTest, AnAdWithoutURLsStaysHiddenButStillShowsAndReports) {
  auto badge = show({10, 40}, 1, container, AdModel{});
  EXPECT_TRUE(badge->isHidden());
  EXPECT_EQ(calls.show, 1);
  EXPECT_TRUE(session->requests().empty()) << "an empty impression URL is skipped by the tracker";
  EXPECT_TRUE(badge->gifView()->tap());
  EXPECT_EQ(calls.click, 0);
}

TEST_F(FloatingAdViewTest, WithoutContainerNothingHappens) {
  show({-1000, -1000}, 1, nullptr);
  runUntilIdle();
  EXPECT_EQ(calls.show, 0);
  EXPECT_TRUE(session->requests().empty());
}

TEST_F(FloatingAdViewTest, TheKeyWindowsTopScreenIsTheDefaultContainer) {
  auto root = std::make_shared<ViewController>();
  auto window = makeKeyWindow(root);
  auto shown = std::make_shared<ViewController>();
  root->present(shown, false);
  runUntilIdle();
  show({-1000, -1000}, 1, nullptr);
  ASSERT_FALSE(shown->view()->subviews().empty());
  EXPECT_TRUE(std::dynamic_pointer_cast<QvInterActiveAdView>(shown->view()->subviews().back()));
}

TEST_F(FloatingAdViewTest, ARefusedOrInvalidLandingPageReportsNoClick) {
  const auto browserBefore = OpenSFVCManager::shared().safariViewController();
  for (const char* landing : {"tavro://webview?x=1", "not a url"}) {
    AdModel ad = kAd;
    ad.landingUrl = landing;
    auto badge = show({10, 40}, 1, container, ad);
    EXPECT_TRUE(badge->gifView()->tap());
  }
  EXPECT_EQ(requestsTo(*kAd.reportClickUrl), 0u);
  EXPECT_EQ(calls.click, 0);
  EXPECT_EQ(OpenSFVCManager::shared().safariViewController(), browserBefore);
}

TEST_F(FloatingAdViewTest, CloseRemovesTheBadgeBeforeItsActionAndReportsNothing) {
  bool removedFirst = false;
  QvInterActiveAdView::showAdView({10, 40}, 1, container, kAd, nullptr, nullptr, [&] {
    removedFirst = container->subviews().empty();
    ++calls.close;
  });
  std::weak_ptr<View> weakBadge = container->subviews().back();
  const std::size_t before = session->requests().size();
  ASSERT_TRUE(std::static_pointer_cast<QvInterActiveAdView>(weakBadge.lock())->closeButton()->tap());
  EXPECT_TRUE(removedFirst);
  EXPECT_EQ(calls.close, 1);
  EXPECT_EQ(session->requests().size(), before);
  EXPECT_FALSE(weakBadge.lock()) << "released once its container let it go";
}

TEST_F(FloatingAdViewTest, AContainerLetGoWithItsBadgeOnIsReleased) {
  std::weak_ptr<View> weakContainer = container;
  std::weak_ptr<View> weakBadge = show({10, 40}, 1, container);
  container.reset();
  EXPECT_FALSE(weakContainer.lock());
  EXPECT_FALSE(weakBadge.lock());
}

}  // namespace
}  // namespace qvad
