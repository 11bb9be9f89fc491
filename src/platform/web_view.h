// The embedded web view of the platform layer: one interface for every page the library
// shows (the ad container, the in-app browser, the bridge's page), with a scripted
// headless backend (platform/headless/scripted_web_view.h) and an engine-backed one.
//
// Threads: everything here is main-thread only, the completion and decision handlers
// included: a backend calls them on the main thread, usually on a later turn of the main
// loop, and callers may answer them later too.
//
// Ownership: a web view holds its configuration, and through it its user content
// controller, strongly; the content controller holds its script message handlers
// strongly (register a weak proxy to avoid a cycle). The navigation and UI delegates
// are held weakly; property observers are held until removed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/error.h"
#include "platform/toolkit/view.h"

namespace qvad {

class WebView;
class UserContentController;

/// Error domain of failures the engine reports itself (as opposed to URL-loading failures,
/// which keep kURLErrorDomain and its codes: -999 cancelled, -1001 timed out, -1009 offline).
inline constexpr const char* kWebViewErrorDomain = "qvad.webview";

namespace WebViewError {
/// The engine cannot show the URL (an unsupported scheme or content it will not display).
inline constexpr long cannotShowURL = 101;
/// A load was replaced by something the engine does instead (for example a download).
inline constexpr long frameLoadInterrupted = 102;
/// A script evaluation failed or returned a value that has no JSON form.
inline constexpr long javaScriptError = 4;
}  // namespace WebViewError

enum class WebCachePolicy {
  useProtocolCachePolicy = 0,
  reloadIgnoringLocalCacheData = 1,
  returnCacheDataElseLoad = 2,
  returnCacheDataDontLoad = 3,
};

/// A page request. `url` is absolute URL text; an empty text stands for "no URL".
struct WebRequest {
  std::string url;
  WebCachePolicy cachePolicy = WebCachePolicy::useProtocolCachePolicy;
  double timeoutSeconds = 60;

  WebRequest() = default;
  explicit WebRequest(std::string u, WebCachePolicy policy = WebCachePolicy::useProtocolCachePolicy,
                      double timeout = 60)
      : url(std::move(u)), cachePolicy(policy), timeoutSeconds(timeout) {}
  friend bool operator==(const WebRequest&, const WebRequest&) = default;
};

/// A frame of a page: the main frame or a sub-frame (an iframe).
struct FrameInfo {
  bool isMainFrame = true;
  WebRequest request;  // the frame's current request
};

/// What started a navigation. The values are part of the interface (the ad container
/// compares linkActivated, 0).
enum class NavigationType {
  linkActivated = 0,
  formSubmitted = 1,
  backForward = 2,
  reload = 3,
  formResubmitted = 4,
  other = -1,
};

/// A navigation the page or the user asks for, before it starts.
struct NavigationAction {
  WebRequest request;
  NavigationType navigationType = NavigationType::other;
  std::optional<FrameInfo> sourceFrame;
  /// The frame to load in; absent when the navigation wants a new window.
  std::optional<FrameInfo> targetFrame;
};

/// The reply headers of a navigation, before its body is shown.
struct NavigationResponse {
  std::string url;
  long statusCode = 0;
  std::string mimeType;
  bool isForMainFrame = true;
  bool canShowMIMEType = true;
};

/// Values are part of the interface: cancel is 0, allow is 1.
enum class NavigationActionPolicy { cancel = 0, allow = 1, download = 2 };
enum class NavigationResponsePolicy { cancel = 0, allow = 1, download = 2 };

/// Identifies one navigation across its callbacks; 0 stands for "no navigation object"
/// (an engine may report a callback without one).
using NavigationId = std::uint64_t;

/// Answers a policy question. Call exactly once, on the main thread, now or later.
using NavigationActionDecisionHandler = std::function<void(NavigationActionPolicy)>;
using NavigationResponseDecisionHandler = std::function<void(NavigationResponsePolicy)>;

/// Result of a script: its value as JSON (absent for undefined), or an error.
using ScriptCompletionHandler =
    std::function<void(std::optional<nlohmann::json> result, std::optional<PlatformError> error)>;

/// Window features a page asks for with window.open(); absent means unspecified.
struct WindowFeatures {
  std::optional<double> x;
  std::optional<double> y;
  std::optional<double> width;
  std::optional<double> height;
  std::optional<bool> menuBarVisibility;
  std::optional<bool> statusBarVisibility;
  std::optional<bool> toolbarsVisibility;
  std::optional<bool> allowsResizing;
};

/// The navigation callbacks of a web view. Every method has a default, so a delegate
/// implements only what it answers: policies allow, the rest do nothing.
class NavigationDelegate {
 public:
  virtual ~NavigationDelegate() = default;

  virtual void decidePolicyForNavigationAction(WebView& webView, const NavigationAction& action,
                                               NavigationActionDecisionHandler decisionHandler);
  virtual void decidePolicyForNavigationResponse(WebView& webView, const NavigationResponse& response,
                                                 NavigationResponseDecisionHandler decisionHandler);
  virtual void didStartProvisionalNavigation(WebView& /*webView*/, NavigationId /*navigation*/) {}
  virtual void didReceiveServerRedirectForProvisionalNavigation(WebView& /*webView*/, NavigationId /*navigation*/) {}
  virtual void didFailProvisionalNavigation(WebView& /*webView*/, NavigationId /*navigation*/,
                                            const PlatformError& /*error*/) {}
  virtual void didCommitNavigation(WebView& /*webView*/, NavigationId /*navigation*/) {}
  virtual void didFinishNavigation(WebView& /*webView*/, NavigationId /*navigation*/) {}
  virtual void didFailNavigation(WebView& /*webView*/, NavigationId /*navigation*/, const PlatformError& /*error*/) {}
};

struct WebViewConfiguration;

/// The page's windows and script panels. Defaults: no new window; panels answered at once
/// as if dismissed (alert completed, confirm false, prompt without text). Every panel
/// completion must be called exactly once.
class WebUIDelegate {
 public:
  virtual ~WebUIDelegate() = default;

  /// A page asks for a new window; return a web view made with `configuration`, or nullptr
  /// to refuse (the navigation then does not happen).
  virtual std::shared_ptr<WebView> createWebView(WebView& webView, const WebViewConfiguration& configuration,
                                                 const NavigationAction& action, const WindowFeatures& features);
  virtual void runJavaScriptAlertPanel(WebView& webView, const std::string& message, const FrameInfo& frame,
                                       std::function<void()> completionHandler);
  virtual void runJavaScriptConfirmPanel(WebView& webView, const std::string& message, const FrameInfo& frame,
                                         std::function<void(bool)> completionHandler);
  virtual void runJavaScriptTextInputPanel(WebView& webView, const std::string& prompt,
                                           const std::optional<std::string>& defaultText, const FrameInfo& frame,
                                           std::function<void(std::optional<std::string>)> completionHandler);
};

/// One value a page posted to a named handler (window.webkit.messageHandlers.<name>).
struct ScriptMessage {
  std::string name;
  /// The posted value as JSON: an object, a string, a number, ... exactly as posted.
  nlohmann::json body;
  FrameInfo frameInfo;
  std::weak_ptr<WebView> webView;
};

class ScriptMessageHandler {
 public:
  virtual ~ScriptMessageHandler() = default;
  virtual void didReceiveScriptMessage(UserContentController& controller, const ScriptMessage& message) = 0;
};

/// Named script message handlers of the pages of one or more web views. Handlers are
/// held strongly until removed.
class UserContentController {
 public:
  /// Registers `handler` under `name`. A name already taken (or an empty one, or a null
  /// handler) is refused: false, and the earlier handler stays.
  bool addScriptMessageHandler(std::shared_ptr<ScriptMessageHandler> handler, const std::string& name);
  void removeScriptMessageHandler(const std::string& name);
  void removeAllScriptMessageHandlers();
  std::shared_ptr<ScriptMessageHandler> scriptMessageHandler(const std::string& name) const;
  std::vector<std::string> scriptMessageHandlerNames() const;

  /// For backends: hands a posted message to the handler of its name. False when no
  /// handler has that name (the page's post then has no effect).
  bool deliver(const ScriptMessage& message);

 private:
  std::map<std::string, std::shared_ptr<ScriptMessageHandler>> handlers_;
};

struct WebViewConfiguration {
  std::shared_ptr<UserContentController> userContentController = std::make_shared<UserContentController>();
  double minimumFontSize = 0;
  bool javaScriptEnabled = true;
  bool javaScriptCanOpenWindowsAutomatically = false;
  bool allowsInlineMediaPlayback = false;
  bool requiresUserActionForMediaPlayback = true;
  bool allowsPictureInPictureMediaPlayback = true;
};

/// Properties a caller can observe; an observer hears each change after it happened.
enum class WebViewProperty { url, title, estimatedProgress, isLoading, canGoBack };

using WebViewObserverId = std::uint64_t;
using WebViewObserver = std::function<void(WebView&, WebViewProperty)>;

/// An embedded web page, placed in the view tree like any other view.
class WebView : public View {
 public:
  WebView(Rect frame, WebViewConfiguration configuration);
  ~WebView() override;

  /// The configuration given at creation (changing it later has no effect on the page).
  const WebViewConfiguration& configuration() const { return configuration_; }

  // Delegates, held weakly.
  void setNavigationDelegate(std::weak_ptr<NavigationDelegate> delegate) { navigationDelegate_ = std::move(delegate); }
  std::shared_ptr<NavigationDelegate> navigationDelegate() const { return navigationDelegate_.lock(); }
  void setUIDelegate(std::weak_ptr<WebUIDelegate> delegate) { uiDelegate_ = std::move(delegate); }
  std::shared_ptr<WebUIDelegate> uiDelegate() const { return uiDelegate_.lock(); }

  // Loading. Each returns the id its callbacks will carry, or 0 when nothing starts.
  virtual NavigationId load(const WebRequest& request) = 0;
  NavigationId load(const std::string& url) { return load(WebRequest(url)); }
  /// Shows `html` as a page whose address is `baseURL` (relative links resolve against it).
  virtual NavigationId loadHTMLString(const std::string& html, const std::string& baseURL) = 0;
  virtual NavigationId reload() = 0;
  virtual void stopLoading() = 0;
  virtual NavigationId goBack() = 0;
  virtual NavigationId goForward() = 0;
  virtual bool canGoBack() const = 0;
  virtual bool canGoForward() const = 0;

  // State of the page.
  /// The address of the page shown or being committed; absent before the first commit.
  virtual std::optional<std::string> url() const = 0;
  virtual std::optional<std::string> title() const = 0;
  /// 0 to 1 over the current load.
  virtual double estimatedProgress() const = 0;
  virtual bool isLoading() const = 0;

  /// Runs `script` in the page's main frame; `completionHandler` (may be empty) hears its
  /// result later.
  virtual void evaluateJavaScript(const std::string& script, ScriptCompletionHandler completionHandler = {}) = 0;

  /// The page's horizontal scroll indicator.
  bool showsHorizontalScrollIndicator() const { return showsHorizontalScrollIndicator_; }
  virtual void setShowsHorizontalScrollIndicator(bool shows) { showsHorizontalScrollIndicator_ = shows; }

  /// Observes `property`. The observer is held until removed; capture its owner weakly.
  WebViewObserverId addObserver(WebViewProperty property, WebViewObserver observer);
  void removeObserver(WebViewObserverId id);

  const char* className() const override { return "WebView"; }

 protected:
  /// For backends: tells the observers of `property` that it changed.
  void notifyObservers(WebViewProperty property);

  // For backends: ask the delegates, with the documented answers when a delegate is gone
  // (navigation allowed, new window refused, panels completed at once).
  void askNavigationActionPolicy(const NavigationAction& action, NavigationActionDecisionHandler handler);
  void askNavigationResponsePolicy(const NavigationResponse& response, NavigationResponseDecisionHandler handler);
  std::shared_ptr<WebView> askCreateWebView(const WebViewConfiguration& configuration, const NavigationAction& action,
                                            const WindowFeatures& features);
  void askAlertPanel(const std::string& message, const FrameInfo& frame, std::function<void()> completion);
  void askConfirmPanel(const std::string& message, const FrameInfo& frame, std::function<void(bool)> completion);
  void askTextInputPanel(const std::string& prompt, const std::optional<std::string>& defaultText,
                         const FrameInfo& frame, std::function<void(std::optional<std::string>)> completion);

 private:
  WebViewConfiguration configuration_;
  std::weak_ptr<NavigationDelegate> navigationDelegate_;
  std::weak_ptr<WebUIDelegate> uiDelegate_;
  bool showsHorizontalScrollIndicator_ = true;
  struct Observation {
    WebViewProperty property;
    WebViewObserver observer;
  };
  std::map<WebViewObserverId, Observation> observers_;
  WebViewObserverId nextObserverId_ = 1;
};

/// Makes a web view with the platform's web engine. Main thread only.
std::shared_ptr<WebView> makeWebView(Rect frame, WebViewConfiguration configuration);

/// Replaces the web views makeWebView makes (the engine tests put the real engine into a
/// build whose default is the scripted view); an empty function restores the default.
/// Main thread only.
void setWebViewMaker(std::function<std::shared_ptr<WebView>(Rect, WebViewConfiguration)> maker);

}  // namespace qvad
