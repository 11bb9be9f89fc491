#include <cmath>
#include <string>

#include "fuzz_targets.h"
#include "web/navigation_policy.h"
#include "web/web_container_options.h"

namespace qvad::fuzz {
namespace {

void checkDecision(const NavigationQuestion& question, bool osOpens) {
  int osCalls = 0;
  const NavigationDecision d = decideNavigation(question, [&](const std::string& url) {
    ++osCalls;
    if (url != *question.url) __builtin_trap();
    return osOpens;
  });
  if (!question.url) {
    if (d != NavigationDecision{} || osCalls != 0) __builtin_trap();
    return;
  }
  const std::string& url = *question.url;
  // The operating system is asked only as the last resort, once, and its answer decides.
  if ((d.effect == NavigationEffect::os) != (osCalls == 1) || osCalls > 1) __builtin_trap();
  if (d.storeId.has_value() != (d.effect == NavigationEffect::store)) __builtin_trap();
  switch (d.effect) {
    case NavigationEffect::none:
      // The web view itself follows only web pages and the frame's own source document.
      if (d.policy != NavigationActionPolicy::allow || !(url.starts_with("http") || url == "about:srcdoc"))
        __builtin_trap();
      break;
    case NavigationEffect::browser:
      if (d.policy != NavigationActionPolicy::cancel || !inAppBrowserAccepts(url) || !question.linkNewWindow ||
          !question.linkActivated)
        __builtin_trap();
      break;
    case NavigationEffect::container:
      if (d.policy != NavigationActionPolicy::cancel || !url.starts_with(kContainerURLPrefix)) __builtin_trap();
      break;
    case NavigationEffect::store:
      if (d.policy != NavigationActionPolicy::cancel || !isAppStoreLink(url) || !std::isfinite(*d.storeId))
        __builtin_trap();
      if (appStoreItemId(url) != d.storeId) __builtin_trap();
      break;
    case NavigationEffect::close:
      if (d.policy != NavigationActionPolicy::cancel || !url.starts_with(kCloseURLPrefix)) __builtin_trap();
      break;
    case NavigationEffect::os:
      if (d.policy != (osOpens ? NavigationActionPolicy::cancel : NavigationActionPolicy::allow)) __builtin_trap();
      break;
  }
  // Without an opener nothing is handed on, and nothing else changes.
  const NavigationDecision alone = decideNavigation(question, {});
  if (d.effect != NavigationEffect::os && alone != d) __builtin_trap();
}

}  // namespace

void navigation(const std::uint8_t* data, std::size_t size) {
  // The first byte is the navigation's kind and the opener's answer, the rest the URL.
  const std::uint8_t flags = size > 0 ? data[0] : 0;
  const std::string url = size > 0 ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1) : std::string();
  NavigationQuestion question;
  if (!(flags & 8)) question.url = url;
  question.linkActivated = flags & 1;
  question.linkNewWindow = flags & 2;
  checkDecision(question, flags & 4);

  const std::string last = lastPathComponent(url);
  if (last.size() > url.size()) __builtin_trap();  // decoding only shortens
  if (auto id = appStoreItemId(url); id && !std::isfinite(*id)) __builtin_trap();
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::navigation)
