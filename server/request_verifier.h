// Checks one request of the library: known app, signature made with the library's own
// signing rules, timestamp inside the window, and no replay of a signature inside it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace sandbox {

/// Codes of the sandbox's failure replies (documented in the README).
enum VerdictCode : int {
  kOk = 0,
  kMissingParameter = 4001,
  kUnknownApp = 4002,
  kBadSignature = 4003,
  kStaleTimestamp = 4004,
  kReplayed = 4005,
  kNoAd = 4040,
};

/// The parameters of a request target ("/path?k=v&..."): query values arrive
/// percent-encoded and keys raw, as the library writes them; a later pair of the same
/// name wins. A value that does not decode is kept as sent.
std::map<std::string, std::string> queryParams(std::string_view target);

struct Verdict {
  int code = kOk;
  std::string msg;  // "ok" or the failure text sent as "msg"
};

class RequestVerifier {
 public:
  RequestVerifier(std::map<std::string, std::string> secrets, int windowSeconds)
      : secrets_(std::move(secrets)), windowMs_(std::int64_t{windowSeconds} * 1000) {}

  /// `params` are the decoded query parameters, "signature" included. Thread-safe.
  Verdict verify(const std::map<std::string, std::string>& params, std::int64_t nowMs);

 private:
  const std::map<std::string, std::string> secrets_;
  const std::int64_t windowMs_;
  std::mutex mu_;
  std::map<std::string, std::int64_t> seen_;  // signature -> when it was accepted
};

}  // namespace sandbox
