// Static helpers of the request layer: device values, per-request values, and the
// signed request URL. All may be called on any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qvad {

class ViewController;

using ParameterMap = std::map<std::string, std::string>;

/// What a signed URL was made of; filled on request (the integrator's tool).
struct SigningTrace {
  std::string signedText;  // holds the secret: never log it
  std::string signature;
};

class Utils {
 public:
  /// Six decimal digits from the platform random source.
  static std::string nonce();
  /// Milliseconds since 1970 of the platform clock, truncated toward zero.
  static std::int64_t timestamp();

  /// The advertising identifier, or "" when tracking is limited or it is all zeros.
  static std::string getMyIDFA();
  /// "wifi", "wwan" or "not connect", from a fresh reachability probe.
  static std::string getCurrentNetwork();
  /// The first preferred language, or "".
  static std::string getCurrentLanguage();
  /// Coordinates of the shared location manager (absent counts as 0.0) as text.
  static std::string longitudeText();
  static std::string latitudeText();
  /// "ios_" and the system version: the key's value the ad platform expects.
  static std::string systemVersionText();

  /// "appKey" (when the manager holds one), "deviceId", "nonce", "timestamp".
  static ParameterMap getDefaultParams(const std::string& nonce, std::int64_t timestamp);

  /// `url` + "?" + the default parameters, `params` (which win over defaults) and the
  /// signature, values percent-encoded. Fresh nonce and timestamp on every call.
  static std::string getURL(const std::string& url, const ParameterMap& params, SigningTrace* trace = nullptr);

  /// SHA-1 of signingText(params) with the manager's secret; `trace` receives both.
  static std::string getSignture(const ParameterMap& params, SigningTrace* trace = nullptr);
  /// "k=v,k=v,..." over the pairs sorted by key, with "appSecret" set to `secret` when
  /// present and removed when absent; values as they are, not encoded.
  static std::string signingText(const ParameterMap& params, const std::optional<std::string>& secret);

  /// Appends `value` percent-encoded with the RFC 3986 unreserved set; false (and
  /// nothing appended) when the value is not UTF-8 text.
  static bool appendPercentEncoded(std::string& out, std::string_view value);

  /// Network word for a flag set: the probe's status mapped onto "wifi", "wwan", "not connect".
  static std::string networkWordForFlags(std::uint32_t flags);

  // --- View controllers (defined in ui/view_controller_helpers.cpp; main thread only) ---
  /// The controller on top of the tree under `viewController`: follows presented
  /// controllers, the selected tab and the visible controller of navigation stacks; for
  /// an alert it answers the alert's presenter. nullptr for no root, or a tab-bar
  /// controller without a selected tab.
  static std::shared_ptr<ViewController> topViewControllerWithRootViewController(
      const std::shared_ptr<ViewController>& viewController);
};

}  // namespace qvad
