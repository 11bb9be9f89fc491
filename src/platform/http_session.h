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
inline constexpr long badServerResponse = -1011;        // a reply the task cannot use (status)
inline constexpr long cannotDecodeContentData = -1016;  // a body that is not what was asked for
inline constexpr long secureConnectionRequired = -1022;  // cleartext to a host off this machine
inline constexpr long dataLengthExceedsMaximum = -1103;
inline constexpr long secureConnectionFailed = -1200;
inline constexpr long serverCertificateUntrusted = -1202;
}  // namespace URLError

inline constexpr const char* kURLErrorDomain = "qvad.url";

/// Reply bodies larger than this fail with URLError::dataLengthExceedsMaximum unless
/// a task sets its own cap.
inline constexpr std::size_t kDefaultMaxBodyBytes = 16u * 1024 * 1024;
/// Cap for ad asset downloads (the floating ad's GIF, tracking replies): pass it as
/// HttpRequest::maxBodyBytes. A larger body fails the task; no part of it is delivered.
inline constexpr std::size_t kMaxAssetDownloadBytes = 8u * 1024 * 1024;

struct HttpRequest {
  std::string method = "GET";  // "GET" or "POST"
  std::string url;
  std::optional<std::string> body;  // sent as is, without a content type
  // Idle limit: the task fails with timedOut when no byte has moved for this long, or
  // when the connection (TLS included) is not made in this time. A slow transfer that
  // keeps moving is not cut off.
  double timeoutSeconds = 30;
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
  /// An http:// URL whose host is not a loopback address fails with
  /// URLError::secureConnectionRequired before any connection is tried.
  virtual void dataTask(HttpRequest request, HttpCompletion completion) = 0;

  /// Whether `url` is an absolute URL the session could try: printable ASCII only,
  /// with a scheme and a host.
  static bool isValidURL(std::string_view url);

  /// Whether `url` would be sent in cleartext to a host that is not this machine:
  /// scheme http and a host other than 127.0.0.0/8, ::1 or localhost.
  static bool isRefusedCleartext(std::string_view url);
};

/// An error of our URL-loading domain; `detail` goes into the debug text only.
PlatformError urlError(long code, const std::string& text, const std::string& detail);
/// What a task fails with when its reply body passes `maxBodyBytes`.
PlatformError bodyTooLargeError(std::size_t maxBodyBytes);

}  // namespace qvad
