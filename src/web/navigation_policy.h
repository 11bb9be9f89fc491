// The web ad container's navigation policy as a pure decision: which navigations the
// web view follows, and what the container does instead for the others (in-app
// browser, nested container, store sheet, close, the operating system). The
// container's glue carries out the effect; this file decides. Any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/web_view.h"  // NavigationActionPolicy

namespace qvad {

/// What the container does besides answering the web view.
enum class NavigationEffect {
  none,       // nothing: the web view follows or drops the navigation
  browser,    // open the URL in the in-app browser
  container,  // present a nested container for the "tavro://webview?" URL
  store,      // show the store sheet for storeId
  close,      // close the container ("adWillClose", step back, "adDidClose")
  os,         // the URL was handed to the operating system
};

struct NavigationQuestion {
  std::optional<std::string> url;  // the action's request URL as absolute text
  bool linkActivated = false;      // navigation type "link activated"
  bool linkNewWindow = false;      // the page asked links to open outside it
};

struct NavigationDecision {
  NavigationActionPolicy policy = NavigationActionPolicy::allow;
  NavigationEffect effect = NavigationEffect::none;
  std::optional<double> storeId;  // set with NavigationEffect::store

  friend bool operator==(const NavigationDecision&, const NavigationDecision&) = default;
};

/// Answers whether the operating system opened `url` (synchronously).
using OpenURLByOS = std::function<bool(const std::string& url)>;

/// Decides one navigation. `openByOS` is called only when no earlier rule claims the
/// URL, and then exactly once; the decision is cancel when it opened the URL.
NavigationDecision decideNavigation(const NavigationQuestion& question, const OpenURLByOS& openByOS);

/// The close URL's prefix.
inline constexpr std::string_view kCloseURLPrefix = "tavro://webview/close";

/// Whether the text holds one of the four store link markers (substring tests).
bool isAppStoreLink(std::string_view absoluteURL);
/// The store item id of a store link: the URL's last path component with its first
/// two characters cut off, read as a finite decimal number. Nothing when there is no
/// "action" free text, no "id" in the component, or the rest is not such a number.
std::optional<double> appStoreItemId(std::string_view absoluteURL);
/// Whether the in-app browser takes the URL: its scheme contains "http" (case-sensitive).
bool inAppBrowserAccepts(std::string_view absoluteURL);
/// The last component of the URL's path, percent-decoded ("" for an empty path).
std::string lastPathComponent(std::string_view absoluteURL);

}  // namespace qvad
