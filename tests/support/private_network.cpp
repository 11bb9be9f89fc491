#include "support/private_network.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

extern char** environ;

namespace qvad::testing {

bool insidePrivateNetwork() { return std::getenv(kPrivateNetworkEnv) != nullptr; }

bool onlyLoopbackInterface() {
  std::ifstream dev("/proc/self/net/dev");
  std::string line;
  int interfaces = 0;
  for (int n = 0; std::getline(dev, line); ++n) {
    if (n < 2) continue;  // the two header lines
    ++interfaces;
    if (line.find("lo:") == std::string::npos) return false;
  }
  return interfaces == 1;
}

int runProgram(std::vector<std::string> args, const std::vector<std::string>& extraEnv) {
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env(extraEnv);
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0].c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

bool privateNetworkAvailable() { return runProgram({"unshare", "-n", "true"}) == 0; }

namespace {

int runSelfUnshared(const char* flag, const char* env, const std::string& filter) {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return -1;
  self[n] = '\0';
  return runProgram({"unshare", flag, self, "--gtest_filter=" + filter}, {std::string(env) + "=1"});
}

}  // namespace

int runSelfInPrivateNetwork(const std::string& filter) { return runSelfUnshared("-n", kPrivateNetworkEnv, filter); }

bool insidePrivateMounts() { return std::getenv(kPrivateMountsEnv) != nullptr; }
bool privateMountsAvailable() { return runProgram({"unshare", "-m", "true"}) == 0; }
int runSelfInPrivateMounts(const std::string& filter) { return runSelfUnshared("-m", kPrivateMountsEnv, filter); }

}  // namespace qvad::testing
