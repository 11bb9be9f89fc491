#include "web/page_origin.h"

#include <algorithm>
#include <cctype>

#include "ui/open_sfvc_manager.h"

namespace qvad {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

std::string_view defaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") return "80";
  if (scheme == "https" || scheme == "wss") return "443";
  if (scheme == "ftp") return "21";
  return "";
}

bool isIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }
bool isIdentPart(char c) { return isIdentStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

}  // namespace

std::optional<std::string> pageOrigin(std::string_view url) {
  const auto schemeText = OpenSFVCManager::urlScheme(url);
  if (!schemeText) return std::nullopt;
  const std::string scheme = lower(*schemeText);
  std::string_view rest = url.substr(schemeText->size() + 1);
  if (rest.substr(0, 2) != "//") return std::nullopt;
  rest.remove_prefix(2);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view host, port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(0, close + 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
    }
  } else {
    const std::size_t c = authority.rfind(':');
    host = authority.substr(0, c);
    if (c != std::string_view::npos) port = authority.substr(c + 1);
  }
  if (host.empty()) return std::nullopt;
  if (!std::all_of(port.begin(), port.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  while (port.size() > 1 && port.front() == '0') port.remove_prefix(1);
  if (port.empty()) port = defaultPort(scheme);
  return scheme + "://" + lower(host) + ":" + std::string(port);
}

bool sameOrigin(std::string_view a, std::string_view b) {
  auto oa = pageOrigin(a);
  return oa && oa == pageOrigin(b);
}

bool isCallbackName(std::string_view name) {
  bool partStart = true;
  for (char c : name) {
    if (c == '.') {
      if (partStart) return false;
      partStart = true;
    } else if (partStart ? isIdentStart(c) : isIdentPart(c)) {
      partStart = false;
    } else {
      return false;
    }
  }
  return !partStart;
}

}  // namespace qvad
