#include "web/web_container_options.h"

#include <cstring>
#include <limits>
#include <map>

#include "net/text_utils.h"

namespace qvad {

namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isQueryAllowed(unsigned char c) { return isAsciiAlnum(c) || (c != 0 && std::strchr("!$&'()*+,-./:;=?@_~", c)); }

bool isURLCharacter(unsigned char c) {
  return isAsciiAlnum(c) || (c != 0 && std::strchr("-._~:/?#[]@!$&'()*+,;=%", c));
}

// An option applies only when its value is an integer; true when above zero.
void applyFlag(const std::map<std::string, std::string>& params, const char* key, bool& field) {
  auto it = params.find(key);
  if (it == params.end()) return;
  if (auto n = parsePageInteger(it->second)) field = *n > 0;
}

}  // namespace

std::optional<std::int64_t> parsePageInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulate negatively so that the int64 minimum is reachable.
  std::int64_t value = 0;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value < (kMin + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == kMin) return std::nullopt;
    value = -value;
  }
  return value;
}

bool isValidURLText(std::string_view text) {
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!isURLCharacter(c)) return false;
    if (c == '%' && (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2]))) return false;
  }
  return true;
}

std::string percentEncodeQueryAllowed(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (isQueryAllowed(c)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

std::optional<std::string> pageURLFromOption(std::string_view value) {
  if (isValidURLText(value)) return std::string(value);
  // Text that is not UTF-8 cannot be encoded; it is then used raw, which is no URL.
  if (!isValidUTF8(value)) return std::nullopt;
  std::string encoded = percentEncodeQueryAllowed(value);
  if (isValidURLText(encoded)) return encoded;
  return std::nullopt;
}

std::optional<WebContainerOptions> parseContainerURL(std::string_view absoluteURL) {
  if (!absoluteURL.starts_with(kContainerURLPrefix)) return std::nullopt;
  WebContainerOptions options;
  auto params = parseParams(absoluteURL);
  if (!params || params->empty()) return options;
  auto url = params->find("url");
  // Without a page address no other option is read either.
  if (url == params->end()) return options;
  options.url = pageURLFromOption(url->second);
  applyFlag(*params, "page_fullscreen", options.fullscreen);
  applyFlag(*params, "page_titlebar", options.showTitleBar);
  applyFlag(*params, "page_statusbar_light", options.pageStatusBarLight);
  applyFlag(*params, "page_statebar", options.showStatusBar);
  applyFlag(*params, "page_progressbar", options.showProgressBar);
  return options;
}

}  // namespace qvad
