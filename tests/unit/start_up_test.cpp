// The start-up handshake of the manager, against a fake session.
#include <gtest/gtest.h>

#include "net/text_utils.h"
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
  bool onMain = false;
};

QvStartCompletion recordInto(Recorded& r) {
  return [&r](std::optional<QvError> e) {
    ++r.calls;
    r.error = std::move(e);
    r.onMain = MainQueue::main().isMainThread();
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

TEST_F(StartUpTest, SuccessSendsASignedInitAndReportsNoErrorOnTheMainThread) {
  forceStartSuccess(false);
  Recorded r;
  QvInterActiveAdManager::shared().start("key-1", "s3cr3t-value", recordInto(r));
  auto requests = session->requests();
  const HttpRequest& sent = requests.back();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.url.rfind(QvConfiguration::apiBaseURL() + "/api/ig/sdk/init?", 0), 0u) << sent.url;
  for (const char* key : {"appKey=key-1", "idfa=", "longitude=", "latitude=", "os=", "network=", "language=",
                          "deviceId=", "nonce=", "timestamp=", "signature="}) {
    EXPECT_NE(sent.url.find(key), std::string::npos) << key;
  }
  session->replyBody(R"({"code":0,"msg":""})");
  EXPECT_EQ(r.calls, 0);
  settle();
  EXPECT_EQ(r.calls, 1);
  EXPECT_FALSE(r.error);
  EXPECT_TRUE(r.onMain);
  EXPECT_TRUE(managerInternal::startSuccess());
  EXPECT_EQ(sent.url.find("s3cr3t-value"), std::string::npos);
  for (const auto& line : log.lines()) EXPECT_EQ(line.find("s3cr3t-value"), std::string::npos) << line;
}

TEST_F(StartUpTest, FailuresCarryTheServerOrLibraryCodeAndClearStartSuccess) {
  struct Case {
    const char* body;
    std::int64_t code;
    const char* text;
  };
  for (const Case& c : {Case{R"({"code":3,"msg":"app disabled"})", 3, "app disabled"},
                        Case{R"({"msg":"no code"})", -1000, "connect_error"}}) {
    forceStartSuccess(true);
    Recorded r;
    QvInterActiveAdManager::shared().start("k", "s", recordInto(r));
    session->replyBody(c.body);
    settle();
    ASSERT_EQ(r.calls, 1) << c.body;
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->errorCode, c.code);
    EXPECT_EQ(r.error->errorDescription, c.text);
    EXPECT_FALSE(managerInternal::startSuccess()) << c.body;
  }
}

TEST_F(StartUpTest, NonJSONReplyCallsNothingAndKeepsStartSuccess) {
  forceStartSuccess(true);
  Recorded r;
  QvInterActiveAdManager::shared().start("k", "s", recordInto(r));
  session->replyBody("<html><body>502 Bad Gateway</body></html>", 502);
  settle();
  EXPECT_EQ(r.calls, 0);
  EXPECT_TRUE(managerInternal::startSuccess());
}

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
