#include "support/sandbox_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "qvad/configuration.h"

extern char** environ;

namespace qvad::testing {
namespace fs = std::filesystem;

SandboxProcess::SandboxProcess(const std::string& binary, const std::string& configJSON,
                               const std::vector<std::string>& extraArgs) {
  std::string tmpl = (fs::temp_directory_path() / "qvad-sandbox-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) {
    error_ = "mkdtemp failed";
    return;
  }
  stateDir_ = tmpl;
  std::vector<std::string> args = {binary, "--port", "0", "--state", stateDir_};
  if (!configJSON.empty()) {
    const std::string path = stateDir_ + "/config.json";
    std::ofstream(path) << configJSON;
    args.insert(args.end(), {"--config", path});
  }
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  int fds[2];
  if (pipe(fds) != 0) {
    error_ = "pipe failed";
    return;
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The server goes with the test binary however that ends (a crash, an abort, a
    // sandbox kept for the whole run): one left behind holds the runner's output open.
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execve(binary.c_str(), argv.data(), environ);
    _exit(127);
  }
  close(fds[1]);
  stdoutFd_ = fds[0];
  if (pid_ < 0) {
    error_ = "cannot run " + binary;
    return;
  }

  // Generous: certificates are made on first start, on a loaded machine.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string out;
  while (out.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{stdoutFd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      error_ = "no listening line within 20 s";
      return;
    }
    char buf[512];
    const ssize_t n = read(stdoutFd_, buf, sizeof buf);
    if (n <= 0) {
      error_ = "the sandbox exited before listening";
      return;
    }
    out.append(buf, static_cast<size_t>(n));
  }
  const std::string line = out.substr(0, out.find('\n'));
  const std::string prefix = "listening https://127.0.0.1:";
  const auto ca = line.find(" ca=");
  if (line.rfind(prefix, 0) != 0 || ca == std::string::npos) {
    error_ = "unexpected first line: " + line;
    return;
  }
  port_ = std::atoi(line.c_str() + prefix.size());
  caFile_ = line.substr(ca + 4);
}

SandboxProcess::~SandboxProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (stdoutFd_ >= 0) close(stdoutFd_);
  std::error_code ec;
  if (!stateDir_.empty()) fs::remove_all(stateDir_, ec);
}

bool SandboxProcess::control(const std::string& path, const std::string& body) {
  HttpRequest request;
  request.method = "POST";
  request.url = baseURL() + path;
  request.body = body;
  request.timeoutSeconds = 20;
  auto done = std::make_shared<std::promise<long>>();
  auto result = done->get_future();
  const std::string savedCA = QvConfiguration::caFile();
  QvConfiguration::setCAFile(caFile_);  // read when the task starts
  HttpSession::shared()->dataTask(request, [done](HttpResponse r) { done->set_value(r.error ? -1 : r.statusCode); });
  QvConfiguration::setCAFile(savedCA);
  return result.wait_for(std::chrono::seconds(25)) == std::future_status::ready && result.get() == 200;
}

bool SandboxProcess::next(const nlohmann::json& rule) { return control("/_sandbox/next", rule.dump()); }
bool SandboxProcess::reset() { return control("/_sandbox/reset", "{}"); }

std::string SandboxProcess::requestLogText() const {
  std::ifstream in(stateDir_ + "/requests.jsonl");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<nlohmann::json> SandboxProcess::requestLog() const {
  std::vector<nlohmann::json> lines;
  std::istringstream in(requestLogText());
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(nlohmann::json::parse(line, nullptr, false));
  }
  return lines;
}

void CountingSession::dataTask(HttpRequest request, HttpCompletion completion) {
  if (request.url.find("/api/") == std::string::npos) {
    inner_->dataTask(std::move(request), std::move(completion));
    return;
  }
  // The counter is shared with the completion: the worker may still be finishing one
  // after the test let go of this session (the session it wraps lives on in its slot).
  inner_->dataTask(std::move(request), [finished = finished_, completion = std::move(completion)](HttpResponse r) {
    completion(std::move(r));
    finished->fetch_add(1);
  });
}

HttpResponse fetchAndWait(HttpRequest request, double seconds) {
  auto done = std::make_shared<std::promise<HttpResponse>>();
  auto result = done->get_future();
  HttpSession::shared()->dataTask(std::move(request), [done](HttpResponse r) { done->set_value(std::move(r)); });
  if (result.wait_for(std::chrono::duration<double>(seconds)) != std::future_status::ready) {
    ADD_FAILURE() << "no completion within " << seconds << " s";
    return {};
  }
  return result.get();
}

int unusedLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace qvad::testing
