// One qvad-sandbox per test suite of the integration tests: started before the suite's
// first test, stopped after its last. `Suite::sandboxConfig()` may name a configuration;
// `Base` is the fixture the suite builds on.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/main_queue.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "support/sandbox_process.h"

namespace qvad::testing {

/// What start-up's completion told the host: how often it ran, and with what error.
struct StartOutcome {
  int calls = 0;
  std::optional<QvError> error;
};

/// Starts as a host does and runs the main queue until `exchanged` holds (unset: until
/// the completion ran) or `seconds` of real time pass, then runs what was posted. The
/// outcome outlives the call should a reply come late.
inline StartOutcome startAndRun(const std::string& key = "demo-app", const std::string& secret = "demo-secret",
                                std::function<bool()> exchanged = {}, double seconds = 20) {
  auto out = std::make_shared<StartOutcome>();
  QvInterActiveAdManager::shared().start(key, secret, [out](std::optional<QvError> e) {
    ++out->calls;
    out->error = std::move(e);
  });
  if (!exchanged) exchanged = [&] { return out->calls > 0; };
  auto* q = HeadlessMainQueue::current();
  EXPECT_TRUE(q->runUntil(exchanged, seconds));
  q->runUntilIdle();
  return *out;
}

/// A transport failure as the host sees it: one call with the code and an
/// `Optional(<debug text>)` description.
inline void expectTransportError(const StartOutcome& o, long code) {
  ASSERT_EQ(o.calls, 1);
  ASSERT_TRUE(o.error);
  const std::string text = o.error->errorDescription.value_or("");
  EXPECT_EQ(o.error->errorCode, code) << text;
  EXPECT_EQ(text.rfind("Optional(", 0), 0u) << text;
  EXPECT_TRUE(!text.empty() && text.back() == ')') << text;
}

template <class Suite, class Base = ::testing::Test>
class SandboxSuite : public Base {
 protected:
  static void SetUpTestSuite() { sandbox_ = new SandboxProcess(QVAD_SANDBOX_BIN, Suite::sandboxConfig()); }
  static void TearDownTestSuite() {
    delete sandbox_;
    sandbox_ = nullptr;
  }
  /// The built-in configuration unless a suite hides this.
  static std::string sandboxConfig() { return {}; }

  /// Points the library at the sandbox, trusting its CA, with no fault rule queued.
  static void useSandbox() {
    ASSERT_TRUE(sandbox_->ok()) << sandbox_->error();
    QvConfiguration::setApiBaseURL(sandbox_->baseURL());
    QvConfiguration::setCAFile(sandbox_->caFile());
    ASSERT_TRUE(sandbox_->reset());
  }
  static void leaveSandbox() {
    QvConfiguration::setApiBaseURL("");
    QvConfiguration::setCAFile("");
  }
  /// Runs the main queue in steps until `done` or `seconds` of real time pass.
  static bool waitFor(const std::function<bool()>& done, double seconds = 20, double step = 0.02) {
    for (double waited = 0; waited < seconds; waited += step) {
      if (done()) return true;
      HeadlessMainQueue::current()->runFor(step);
    }
    return done();
  }
  /// One request to the sandbox itself (its controls, counts and assets), waited for.
  static HttpResponse fetchSandbox(const std::string& path, const char* method = "GET",
                                   std::optional<std::string> body = std::nullopt) {
    HttpRequest r;
    r.method = method;
    r.url = sandbox_->baseURL() + path;
    r.timeoutSeconds = 20;
    r.body = std::move(body);
    return fetchAndWait(std::move(r), 25);
  }

  static inline SandboxProcess* sandbox_ = nullptr;
};

}  // namespace qvad::testing
