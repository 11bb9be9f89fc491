// Page options of the web ad container, read from the library's own
// "tavro://webview?" URLs. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvad {

/// The prefix that marks a container URL (exact, case-sensitive).
inline constexpr std::string_view kContainerURLPrefix = "tavro://webview?";

/// What a container URL sets. Fields keep these defaults unless the URL carries a
/// "url" key; then each option with an integer value applies (true when above 0).
struct WebContainerOptions {
  std::optional<std::string> url;  // the page to load; absent: no page
  bool fullscreen = false;          // "page_fullscreen"
  bool showTitleBar = true;         // "page_titlebar"
  bool pageStatusBarLight = false;  // "page_statusbar_light"
  bool showStatusBar = true;        // "page_statebar"
  bool showProgressBar = true;      // "page_progressbar"

  friend bool operator==(const WebContainerOptions&, const WebContainerOptions&) = default;
};

/// Options of `absoluteURL`, or nothing when it does not begin with kContainerURLPrefix.
/// A container URL whose query cannot be read, or has no "url" key, gives the defaults.
std::optional<WebContainerOptions> parseContainerURL(std::string_view absoluteURL);

/// The whole text as a signed 64-bit base-10 integer: an optional sign, then digits
/// only. Anything else ("1.0", "", " 1", "yes", out of range) is nothing.
std::optional<std::int64_t> parsePageInteger(std::string_view text);

/// Whether `text` can be made into a URL as it stands: not empty, only characters a
/// URL may hold, every "%" followed by two hex digits.
bool isValidURLText(std::string_view text);

/// Percent-encodes every byte outside the query-allowed set (letters, digits and
/// !$&'()*+,-./:;=?@_~); "%" itself is encoded too.
std::string percentEncodeQueryAllowed(std::string_view text);

/// The page a "url" option value names: the value when it is valid URL text, else its
/// query-encoded form when that is, else nothing.
std::optional<std::string> pageURLFromOption(std::string_view value);

}  // namespace qvad
