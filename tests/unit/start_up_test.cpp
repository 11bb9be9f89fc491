// The start-up handshake against a fake session, for what needs the order of replies in
// the test's hands; codes and reply bodies over HTTPS: integration/start_up_sandbox_test.
#include <gtest/gtest.h>

#include "platform/main_queue.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "support/fake_http_session.h"
#include "support/log_capture.h"

namespace qvad {
namespace {

using testing::LogCapture;
using testing::ScopedFakeSession;

struct Recorded {
  int calls = 0;
  std::optional<QvError> error;
};

QvStartCompletion recordInto(Recorded& r) {
  return [&r](std::optional<QvError> e) {
    ++r.calls;
    r.error = std::move(e);
  };
}

class StartUpTest : public ::testing::Test {
 protected:
  void TearDown() override {
    HeadlessMainQueue::current()->runUntilIdle();
    managerInternal::setCredentials(std::nullopt, std::nullopt);
  }
  void settle() { HeadlessMainQueue::current()->runUntilIdle(); }
  // Brings startSuccess to a known value through the public path.
  void forceStartSuccess(bool value) {
    managerInternal::requestStart();
    session->replyBody(value ? R"({"code":0})" : R"({"code":1})", 200, session->pending() - 1);
    settle();
    ASSERT_EQ(managerInternal::startSuccess(), value);
  }
  ScopedFakeSession session;
  LogCapture log;
};

TEST_F(StartUpTest, StartWithoutCompletionStillSetsStartSuccess) {
  forceStartSuccess(false);
  QvInterActiveAdManager::shared().start("k", "s");
  session->replyBody(R"({"code":0})");
  settle();
  EXPECT_TRUE(managerInternal::startSuccess());
}

TEST_F(StartUpTest, TwoStartsEachGetTheirOwnReplyAndTheLastReplyDecides) {
  auto& m = QvInterActiveAdManager::shared();
  Recorded first, second;
  m.start("key-a", "secret-a", recordInto(first));
  m.start("key-b", "secret-b", recordInto(second));
  ASSERT_EQ(session->pending(), 2u);
  EXPECT_NE(session->requests()[0].url.find("appKey=key-a"), std::string::npos);
  EXPECT_NE(session->requests()[1].url.find("appKey=key-b"), std::string::npos);

  // The second reply arrives first.
  session->replyBody(R"({"code":0})", 200, 1);
  settle();
  session->replyBody(R"({"code":9,"msg":"late failure"})", 200, 0);
  settle();
  EXPECT_FALSE(second.error);
  ASSERT_TRUE(first.error);
  EXPECT_EQ(first.error->errorCode, 9);
  EXPECT_FALSE(managerInternal::startSuccess()) << "the reply that arrived last decides";
  EXPECT_EQ(managerInternal::appKey(), "key-b");
  EXPECT_EQ(managerInternal::appSecret(), "secret-b");

  // Later requests are signed with the second credentials.
  managerInternal::requestStart();
  EXPECT_NE(session->requests().back().url.find("appKey=key-b"), std::string::npos);
  session->replyBody(R"({"code":0})");
}

}  // namespace
}  // namespace qvad
