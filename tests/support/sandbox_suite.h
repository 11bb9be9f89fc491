// One qvad-sandbox per test suite of the integration tests: started before the suite's
// first test, stopped after its last. `Suite::sandboxConfig()` may name a configuration;
// `Base` is the fixture the suite builds on.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "qvad/configuration.h"
#include "support/sandbox_process.h"

namespace qvad::testing {

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

  static inline SandboxProcess* sandbox_ = nullptr;
};

}  // namespace qvad::testing
