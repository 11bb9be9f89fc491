// Runs qvad-sandbox for integration tests: a free port, a fresh state directory, the
// "listening" line read back, and SIGTERM at the end.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/http_session.h"

namespace qvad::testing {

class SandboxProcess {
 public:
  /// Starts `binary` with `configJSON` (the built-in configuration when empty) and
  /// `extraArgs`, and waits up to 20 s for it to listen; check ok() and error(). The
  /// server is stopped with the object, or when the thread that made it ends (make it
  /// on the main thread).
  SandboxProcess(const std::string& binary, const std::string& configJSON = {},
                 const std::vector<std::string>& extraArgs = {});
  ~SandboxProcess();

  bool ok() const { return pid_ > 0 && port_ > 0; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  std::string baseURL() const { return "https://127.0.0.1:" + std::to_string(port_); }
  const std::string& caFile() const { return caFile_; }
  const std::string& stateDir() const { return stateDir_; }

  /// Queues a misbehaviour rule (POST /_sandbox/next); true when accepted.
  bool next(const nlohmann::json& rule);
  /// Drops every queued rule.
  bool reset();
  /// The lines of requests.jsonl so far, and the file's raw text.
  std::vector<nlohmann::json> requestLog() const;
  std::string requestLogText() const;

 private:
  bool control(const std::string& path, const std::string& body);

  pid_t pid_ = -1;
  int port_ = 0;
  int stdoutFd_ = -1;
  std::string caFile_, stateDir_, error_;
};

/// Wraps the installed session and counts finished tasks to the ad platform's API
/// (not the control requests), so a test can wait until a reply has been fully handled
/// even when no callback is due.
class CountingSession final : public HttpSession {
 public:
  explicit CountingSession(std::shared_ptr<HttpSession> inner) : inner_(std::move(inner)) {}
  void dataTask(HttpRequest request, HttpCompletion completion) override;
  int finished() const { return finished_->load(); }

 private:
  std::shared_ptr<std::atomic<int>> finished_ = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<HttpSession> inner_;
};

/// One task through the installed session, waited for on this thread for at most
/// `seconds` of real time; without a completion by then, a test failure and an empty reply.
HttpResponse fetchAndWait(HttpRequest request, double seconds);

/// Free TCP port on 127.0.0.1 with nobody listening (bound, then released).
int unusedLoopbackPort();

}  // namespace qvad::testing
