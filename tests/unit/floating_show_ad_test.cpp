// The manager's floating ad entry: the start-up gate, the signed query, the reply
// mapped onto the badge, and query failures reported to the host.
#include <gtest/gtest.h>

#include <algorithm>

#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "sdk/qv_inter_active_ad_view.h"
#include "support/fake_http_session.h"
#include "support/toolkit_fixture.h"

namespace qvad {
namespace {

using testing::ScopedFakeSession;

struct Seen {
  int show = 0, click = 0, close = 0, failed = 0;
  std::optional<QvError> error;
};

class FloatingShowAdTest : public testing::ToolkitTest {
 protected:
  void TearDown() override {
    while (session->pending()) session->replyBody("", 200);
    managerInternal::setCredentials(std::nullopt, std::nullopt);
    ToolkitTest::TearDown();
  }
  void startWith(bool success) {
    managerInternal::setCredentials("key-1", "secret-1");
    managerInternal::requestStart();
    session->replyBody(success ? R"({"code":0})" : R"({"code":7,"msg":"no"})", 200, session->pending() - 1);
    runUntilIdle();
    ASSERT_EQ(managerInternal::startSuccess(), success);
  }
  void showAd(double scale = 1, QvPoint origin = kQvDefaultAdOrigin) {
    QvInterActiveAdManager::shared().showAd(
        scale, origin, container, [this] { ++seen.show; }, [this] { ++seen.click; }, [this] { ++seen.close; },
        [this](std::optional<QvError> e) {
          ++seen.failed;
          seen.error = std::move(e);
        });
  }
  // Answers the newest request (the query) and runs the main queue.
  void reply(const std::string& body) {
    session->replyBody(body, 200, session->pending() - 1);
    runUntilIdle();
  }
  std::vector<std::shared_ptr<QvInterActiveAdView>> badges() const {
    std::vector<std::shared_ptr<QvInterActiveAdView>> out;
    for (const auto& v : container->subviews()) {
      if (auto b = std::dynamic_pointer_cast<QvInterActiveAdView>(v)) out.push_back(b);
    }
    return out;
  }

  ScopedFakeSession session;
  std::shared_ptr<View> container = View::make(Rect{0, 0, 375, 812});
  Seen seen;
};

TEST_F(FloatingShowAdTest, BeforeStartUpItOnlySendsTheInitRequestAgain) {
  ASSERT_NO_FATAL_FAILURE(startWith(false));
  managerInternal::setCredentials(std::nullopt, std::nullopt);
  const std::size_t before = session->requests().size();
  showAd();
  auto reqs = session->requests();
  ASSERT_EQ(reqs.size(), before + 1);
  EXPECT_NE(reqs.back().url.find("/api/ig/sdk/init?"), std::string::npos);
  EXPECT_EQ(reqs.back().url.find("appKey="), std::string::npos);
  reply(R"({"code":0})");
  EXPECT_TRUE(managerInternal::startSuccess()) << "its reply still sets the flag";
  EXPECT_EQ(seen.show + seen.failed, 0);
  EXPECT_TRUE(badges().empty());
}

TEST_F(FloatingShowAdTest, AFullReplyBecomesABadgeOnTheContainer) {
  ASSERT_NO_FATAL_FAILURE(startWith(true));
  showAd(2.0, {30, 200});
  const HttpRequest query = session->requests().back();
  EXPECT_EQ(query.method, "POST");
  for (const char* key : {"/api/ig/sdk/query?", "appKey=key-1", "deviceId=", "network=", "signature="})
    EXPECT_NE(query.url.find(key), std::string::npos) << key;
  reply(R"({"code":0,"msg":"","image":"https://a.test/b.gif","landing":"https://a.test/l",)"
        R"("impl":"https://a.test/i","click":"https://a.test/c"})");
  auto list = badges();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->frame(), Rect(30, 180, 100, 120)) << "the scale passed is not used";
  EXPECT_EQ(list[0]->adModel().reportClickUrl, "https://a.test/c");
  EXPECT_EQ(seen.show, 1);
  const auto sent = session->requests();
  EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const auto& r) { return r.url == "https://a.test/i"; }));
}

TEST_F(FloatingShowAdTest, QueryFailuresReachOnLoadFailedAndShowNothing) {
  ASSERT_NO_FATAL_FAILURE(startWith(true));
  showAd();
  reply(R"({"code":1,"msg":"no fill"})");
  EXPECT_EQ(seen.failed, 1);
  ASSERT_TRUE(seen.error);
  EXPECT_EQ(seen.error->errorCode, 1);
  EXPECT_EQ(seen.error->errorDescription, "no fill");
  EXPECT_TRUE(badges().empty());
  EXPECT_EQ(seen.show, 0);
}

}  // namespace
}  // namespace qvad
