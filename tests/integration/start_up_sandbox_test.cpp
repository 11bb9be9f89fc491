// The library against qvad-sandbox over HTTPS on loopback: start-up, the reply rules
// and the transport failures, end to end.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "net/empty_result.h"
#include "net/request_manager.h"
#include "platform/main_queue.h"
#include "platform/service_slot.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "support/fixed_services.h"
#include "support/log_capture.h"
#include "support/sandbox_suite.h"

namespace qvad {
namespace {

using nlohmann::json;
using testing::CountingSession;
using testing::LogCapture;

using Outcome = testing::StartOutcome;

class SandboxTest : public testing::SandboxSuite<SandboxTest> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(useSandbox());
    counting_ = std::make_shared<CountingSession>(HttpSession::shared());
    override_.emplace(HttpSession::slot(), counting_);
  }

  void TearDown() override {
    MainQueue::main().runUntilIdle();
    override_.reset();
    leaveSandbox();
    QvConfiguration::setRequestTimeout(0);
  }

  // Starts and runs the main queue until the exchange has finished: some replies call nothing.
  Outcome start(const std::string& key, const std::string& secret) {
    const int before = counting_->finished();
    return testing::startAndRun(key, secret, [&] { return counting_->finished() > before; });
  }

  static void expectError(const Outcome& o, std::int64_t code, const std::string& text) {
    ASSERT_EQ(o.calls, 1);
    ASSERT_TRUE(o.error);
    EXPECT_EQ(o.error->errorCode, code);
    EXPECT_EQ(o.error->errorDescription, text);
  }

  std::shared_ptr<CountingSession> counting_;
  std::optional<ScopedServiceOverride<HttpSession>> override_;
};

TEST_F(SandboxTest, StartSucceedsWithAValidSignatureAndKeepsTheSecretOutOfEveryTrace) {
  LogCapture console;
  Outcome o = start("demo-app", "demo-secret");
  ASSERT_EQ(o.calls, 1);
  EXPECT_FALSE(o.error) << o.error->errorDescription.value_or("");
  EXPECT_TRUE(managerInternal::startSuccess());

  auto log = sandbox_->requestLog();
  ASSERT_FALSE(log.empty());
  const json& last = log.back();
  EXPECT_EQ(last["path"], "/api/ig/sdk/init");
  EXPECT_EQ(last["code"], 0);
  EXPECT_EQ(last["params"]["appKey"], "demo-app");
  for (const char* key : {"idfa", "longitude", "latitude", "os", "network", "language", "deviceId", "nonce",
                          "timestamp", "signature"}) {
    EXPECT_TRUE(last["params"].contains(key)) << key;
  }
  EXPECT_EQ(sandbox_->requestLogText().find("demo-secret"), std::string::npos);
  ASSERT_EQ(console.lines().size(), 2u) << "the URL, then the reply";
  for (const auto& line : console.lines()) EXPECT_EQ(line.find("demo-secret"), std::string::npos) << line;
}

TEST_F(SandboxTest, ServerRejectionsArriveAsTheirCodeAndText) {
  expectError(start("demo-app", "not-the-secret"), 4003, "bad signature");
  EXPECT_FALSE(managerInternal::startSuccess());
  expectError(start("no-such-app", "x"), 4002, "unknown appKey");
}

TEST_F(SandboxTest, StaleTimestampsAndReplaysAreRejected) {
  const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  {
    testing::FixedServices longAgo(now - 3600, 7);
    expectError(start("demo-app", "demo-secret"), 4004, "timestamp outside the accepted window");
  }
  // The same nonce and millisecond make the same signature: the second is a replay.
  testing::FixedServices frozen(now, 7);
  Outcome first = start("demo-app", "demo-secret");
  EXPECT_FALSE(first.error) << first.error->errorDescription.value_or("");
  expectError(start("demo-app", "demo-secret"), 4005, "replayed request");
  EXPECT_FALSE(managerInternal::startSuccess()) << "a failure after a success clears it";
}

TEST_F(SandboxTest, ReplyBodiesDecideWhateverTheStatus) {
  ASSERT_TRUE(sandbox_->next({{"status", 500}, {"body", R"({"code":0})"}}));
  Outcome ok = start("demo-app", "demo-secret");
  EXPECT_EQ(ok.calls, 1);
  EXPECT_FALSE(ok.error);
  EXPECT_TRUE(managerInternal::startSuccess());

  ASSERT_TRUE(sandbox_->next({{"body", "<html><body>Service Unavailable</body></html>"}, {"contentType", "text/html"}}));
  Outcome html = start("demo-app", "demo-secret");
  EXPECT_EQ(html.calls, 0) << "an HTML body calls nothing";
  EXPECT_TRUE(managerInternal::startSuccess()) << "and leaves start-up as it was";
}

TEST_F(SandboxTest, TransportFailuresCarryNegativeCodes) {
  {
    SCOPED_TRACE("closed port");
    QvConfiguration::setApiBaseURL("https://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()));
    testing::expectTransportError(start("demo-app", "demo-secret"), URLError::cannotConnectToHost);
    QvConfiguration::setApiBaseURL(sandbox_->baseURL());
  }
  {
    SCOPED_TRACE("untrusted certificate");
    QvConfiguration::setCAFile("");
    testing::expectTransportError(start("demo-app", "demo-secret"), URLError::serverCertificateUntrusted);
    QvConfiguration::setCAFile(sandbox_->caFile());
  }
  {
    SCOPED_TRACE("oversized body");
    ASSERT_TRUE(sandbox_->next({{"body", R"({"code":0,"pad":")" + std::string(kMaxReplyBytes, 'x') + "\"}"}}));
    testing::expectTransportError(start("demo-app", "demo-secret"), URLError::dataLengthExceedsMaximum);
  }
  {
    SCOPED_TRACE("dropped connection");
    ASSERT_TRUE(sandbox_->next({{"drop", true}}));
    testing::expectTransportError(start("demo-app", "demo-secret"), URLError::networkConnectionLost);
  }
  {
    SCOPED_TRACE("time-out");
    QvConfiguration::setRequestTimeout(1);
    ASSERT_TRUE(sandbox_->next({{"delayMs", 15000}}));
    testing::expectTransportError(start("demo-app", "demo-secret"), URLError::timedOut);
  }
  EXPECT_FALSE(managerInternal::startSuccess());
}

}  // namespace
}  // namespace qvad
