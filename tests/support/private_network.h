// Tests that need a network of their own: a case re-runs its test binary inside a new
// network namespace (`unshare -n`), where only a loopback interface exists and nothing
// can leave the machine, and the inner run does what would be unsafe or flaky outside.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvad::testing {

/// Set in the environment of the inner run.
inline constexpr const char* kPrivateNetworkEnv = "QVAD_PRIVATE_NETNS";

/// Whether this process is the inner run.
bool insidePrivateNetwork();
/// Whether this process's network has no interface but loopback.
bool onlyLoopbackInterface();
/// Whether a network namespace can be made here (root, or user namespaces allowed).
bool privateNetworkAvailable();
/// Runs this test binary inside a new network namespace with `--gtest_filter=filter` and
/// kPrivateNetworkEnv set; the exit code, or -1 when it could not run or was killed.
int runSelfInPrivateNetwork(const std::string& filter);
/// The outer half of a test whose inner half, `filter`, runs in a network of its own:
/// skipped in the inner run itself and where no namespace can be made.
inline void expectPassesInPrivateNetwork(const std::string& filter) {
  if (insidePrivateNetwork()) GTEST_SKIP() << "the inner run";
  if (!privateNetworkAvailable()) GTEST_SKIP() << "cannot make a network namespace here (unshare -n)";
  EXPECT_EQ(runSelfInPrivateNetwork(filter), 0);
}
/// The same for a mount namespace of its own (`unshare -m`, mounts private): the inner
/// run may mount, say, a read-only file system, which even root cannot write.
inline constexpr const char* kPrivateMountsEnv = "QVAD_PRIVATE_MOUNTNS";
bool insidePrivateMounts();
bool privateMountsAvailable();
int runSelfInPrivateMounts(const std::string& filter);

/// Runs `args` (looked up on PATH) and waits: the exit code, or -1.
int runProgram(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {});

}  // namespace qvad::testing
