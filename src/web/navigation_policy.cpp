#include "web/navigation_policy.h"

#include <cmath>
#include <cstdlib>

#include "net/text_utils.h"
#include "ui/open_sfvc_manager.h"
#include "web/web_container_options.h"

namespace qvad {

namespace {

// The platform vendor's public store web hosts: the legacy one and the current one.
constexpr std::string_view kStoreMarkers[] = {
    "itms-apps://itunes.apple.com",
    "https://itunes.apple.com",
    "https://apps.apple.com",
    "itms-apps://apps.apple.com",
};

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number and nothing else: no spaces, no hex, no "inf" or "nan" (an item id
// of infinity or not-a-number is no item).
std::optional<double> readDecimal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (!isAsciiDigit(c) && c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E') return std::nullopt;
  }
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

NavigationDecision cancelWith(NavigationEffect effect) {
  return {NavigationActionPolicy::cancel, effect, std::nullopt};
}

}  // namespace

std::string lastPathComponent(std::string_view url) {
  std::string_view rest = url;
  if (auto cut = rest.find_first_of("?#"); cut != std::string_view::npos) rest = rest.substr(0, cut);
  if (auto scheme = OpenSFVCManager::urlScheme(rest)) rest.remove_prefix(scheme->size() + 1);
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const auto slash = rest.find('/');
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  while (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
  if (rest.empty()) return "";
  if (rest == "/") return "/";
  const auto slash = rest.rfind('/');
  std::string_view last = slash == std::string_view::npos ? rest : rest.substr(slash + 1);
  return percentDecode(last).value_or(std::string(last));
}

bool isAppStoreLink(std::string_view url) {
  for (auto marker : kStoreMarkers) {
    if (url.find(marker) != std::string_view::npos) return true;
  }
  return false;
}

std::optional<double> appStoreItemId(std::string_view url) {
  if (url.find("action") != std::string_view::npos) return std::nullopt;
  const std::string last = lastPathComponent(url);
  if (last.find("id") == std::string::npos) return std::nullopt;
  // The first two characters go whatever they are ("grid5" leaves "id5", no number).
  // Cutting by bytes is whole characters here: anything non-ASCII fails as a number.
  return readDecimal(last.substr(2));
}

bool inAppBrowserAccepts(std::string_view url) {
  // The in-app browser's own rule, so that a decision never promises what it refuses.
  auto scheme = OpenSFVCManager::urlScheme(url);
  return scheme && scheme->find("http") != std::string_view::npos;
}

NavigationDecision decideNavigation(const NavigationQuestion& question, const OpenURLByOS& openByOS) {
  if (!question.url) return {};
  const std::string& s = *question.url;
  const bool isContainerURL = s.starts_with(kContainerURLPrefix);

  if (question.linkNewWindow && question.linkActivated) {
    if (inAppBrowserAccepts(s)) return cancelWith(NavigationEffect::browser);
    if (isContainerURL) return cancelWith(NavigationEffect::container);
  }
  if (s == "about:srcdoc") return {};
  if (isContainerURL) return cancelWith(NavigationEffect::container);
  if (isAppStoreLink(s)) {
    if (auto id = appStoreItemId(s)) return {NavigationActionPolicy::cancel, NavigationEffect::store, id};
  }
  if (s.starts_with(kCloseURLPrefix)) return cancelWith(NavigationEffect::close);
  if (s.starts_with("http")) return {};
  const bool opened = openByOS && openByOS(s);
  return {opened ? NavigationActionPolicy::cancel : NavigationActionPolicy::allow, NavigationEffect::os, std::nullopt};
}

}  // namespace qvad
