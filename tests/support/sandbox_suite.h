// One qvad-sandbox per test suite of the integration tests: started before the suite's
// first test, stopped after its last. `Suite::sandboxConfig()` may name a configuration.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/sandbox_process.h"

namespace qvad::testing {

template <class Suite>
class SandboxSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sandbox_ = new SandboxProcess(QVAD_SANDBOX_BIN, Suite::sandboxConfig()); }
  static void TearDownTestSuite() {
    delete sandbox_;
    sandbox_ = nullptr;
  }
  /// The built-in configuration unless a suite hides this.
  static std::string sandboxConfig() { return {}; }

  static inline SandboxProcess* sandbox_ = nullptr;
};

}  // namespace qvad::testing
