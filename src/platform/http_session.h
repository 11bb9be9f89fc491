// The HTTP session of the platform layer: data tasks over HTTPS. One session serves the
// process (libcurl unless another was installed); tests override it with a fake one
// to inject replies and faults.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace qvad {

template <class T>
class ServiceSlot;

/// Our URL-loading error codes (domain kURLErrorDomain). Negative, so they never
/// collide with the ad platform's own codes.
namespace URLError {
inline constexpr long unknown = -1;
inline constexpr long cancelled = -999;
inline constexpr long badURL = -1000;
inline constexpr long timedOut = -1001;
inline constexpr long unsupportedURL = -1002;
inline constexpr long cannotFindHost = -1003;
inline constexpr long cannotConnectToHost = -1004;
inline constexpr long networkConnectionLost = -1005;
inline constexpr long notConnectedToInternet = -1009;
inline constexpr long dataLengthExceedsMaximum = -1103;
inline constexpr long secureConnectionFailed = -1200;
inline constexpr long serverCertificateUntrusted = -1202;
}  // namespace URLError

inline constexpr const char* kURLErrorDomain = "qvad.url";

/// Reply bodies larger than this fail with URLError::dataLengthExceedsMaximum unless
/// a task sets its own cap.
inline constexpr std::size_t kDefaultMaxBodyBytes = 16u * 1024 * 1024;

struct HttpRequest {
  std::string method = "GET";  // "GET" or "POST"
  std::string url;
  std::optional<std::string> body;  // sent as is, without a content type
  double timeoutSeconds = 30;       // the whole exchange, connecting included
  std::size_t maxBodyBytes = kDefaultMaxBodyBytes;
};

struct HttpResponse {
  std::optional<std::string> body;  // present whenever a reply arrived, possibly empty
  long statusCode = 0;              // 0 when no reply arrived
  std::optional<PlatformError> error;
};

/// Called exactly once per task, on the session's worker thread: never block in it.
using HttpCompletion = std::function<void(HttpResponse)>;

class HttpSession {
 public:
  virtual ~HttpSession() = default;

  /// The installed session; the libcurl session is made on first use. Thread-safe.
  static std::shared_ptr<HttpSession> shared();
  /// Where the session is installed, before first use.
  static ServiceSlot<HttpSession>& slot();

  /// Starts a task and returns at once. TLS peers are always verified, against the
  /// system store plus QvConfiguration::caFile() read here, on the calling thread.
  virtual void dataTask(HttpRequest request, HttpCompletion completion) = 0;

  /// Whether `url` is an absolute URL the session could try: printable ASCII only,
  /// with a scheme and a host.
  static bool isValidURL(std::string_view url);
};

}  // namespace qvad
