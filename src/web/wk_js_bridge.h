// The JavaScript bridge of one web view: routes the page's messages to named handlers,
// runs the built-in actions (toast, alert, page close, page configuration, ad events)
// and answers the page with reply scripts. It is the web view's navigation and UI
// delegate and forwards those calls to the web container's delegates.
//
// Main thread only, except injectMessageFunction, which may be called from any thread.
// A reply goes only to a dotted script name the page gave, and only to the page that gave
// it: the main frame committing a page of another origin forgets the reply target.
// The bridge holds the web view, its two delegates and the container weakly; the
// container owns the bridge.
//
// Wire format of the replies:
//   envelope:      <callback>('{"msg":<msg>,"params":<base64 of the params JSON>,"ret":<ret>}')
//   message reply: <callback>('<params JSON, escaped for a single-quoted string>')
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/toolkit/view_controller.h"
#include "platform/web_view.h"
#include "web/js_message_model.h"

namespace qvad {

/// The web container's answers to the navigation callbacks the bridge forwards.
class WKJSBridgeNavigationDelegate : public NavigationDelegate {};

/// The web container's answers to the UI calls the bridge forwards. The script panels
/// default to native alerts with one button "sure"; new windows have no default.
class WKJSBridgeUIDelegate : public WebUIDelegate {
 public:
  std::shared_ptr<WebView> createWebView(WebView& webView, const WebViewConfiguration& configuration,
                                         const NavigationAction& action, const WindowFeatures& features) override = 0;
  /// An empty message completes at once; otherwise an alert with the message and "sure".
  /// Without a controller to present it on, completes at once.
  void runJavaScriptAlertPanel(WebView& webView, const std::string& message, const FrameInfo& frame,
                               std::function<void()> completionHandler) override;
  /// An alert with the prompt, one text field holding the default text, and "sure",
  /// which answers the field's text. Without a controller to present it on, answers
  /// the default text at once.
  void runJavaScriptTextInputPanel(WebView& webView, const std::string& prompt,
                                   const std::optional<std::string>& defaultText, const FrameInfo& frame,
                                   std::function<void(std::optional<std::string>)> completionHandler) override;
};

/// Page messages whose actions may wait on the main queue at once. A page posting
/// faster than the main thread runs them loses the rest (one console line per page),
/// so a flood can neither grow memory without bound nor hold the main thread.
inline constexpr std::size_t kMaxPendingPageMessages = 256;

class WKJSBridge final : public NavigationDelegate,
                         public WebUIDelegate,
                         public std::enable_shared_from_this<WKJSBridge> {
 public:
  using Handler = std::function<void(const std::shared_ptr<JSMessageModel>&)>;
  using HandleMap = std::map<std::string, std::map<std::string, Handler>>;

  /// The only way to make a bridge: binds it to `webView` as its navigation and UI
  /// delegate. A null web view is a programming error and stops the process.
  static std::shared_ptr<WKJSBridge> bind(const std::shared_ptr<WebView>& webView);
  /// Removes the "tavro" script message handler from the web view, if it still exists.
  ~WKJSBridge() override;
  WKJSBridge(const WKJSBridge&) = delete;
  WKJSBridge& operator=(const WKJSBridge&) = delete;

  // Fields.
  std::shared_ptr<WebView> webView() const { return webView_.lock(); }
  std::shared_ptr<WKJSBridgeUIDelegate> uiDelegate() const { return uiDelegate_.lock(); }
  void setUIDelegate(std::weak_ptr<WKJSBridgeUIDelegate> d) { uiDelegate_ = std::move(d); }
  std::shared_ptr<WKJSBridgeNavigationDelegate> navigationDelegate() const { return navigationDelegate_.lock(); }
  void setNavigationDelegate(std::weak_ptr<WKJSBridgeNavigationDelegate> d) { navigationDelegate_ = std::move(d); }
  /// The container that owns the web view.
  std::shared_ptr<ViewController> viewController() const { return viewController_.lock(); }
  void setViewController(std::weak_ptr<ViewController> vc) { viewController_ = std::move(vc); }
  const HandleMap& handleMap() const { return handleMap_; }
  const std::string& eventDispatcher() const { return eventDispatcher_; }
  /// The message being handled; replies go to its method's callback, read at reply time.
  /// A callback that is not a dotted script name is dropped from the message (one line).
  const std::shared_ptr<JSMessageModel>& jsModel() const { return jsModel_; }
  void setJsModel(std::shared_ptr<JSMessageModel> model);
  const std::string& openNotifyCallBackStr() const { return openNotifyCallBackStr_; }
  void setOpenNotifyCallBackStr(std::string marker) { openNotifyCallBackStr_ = std::move(marker); }
  /// The container's sinks: page configuration (link_new_window) and ad events.
  void setPageConfig(std::function<void(bool)> sink) { pageConfig_ = std::move(sink); }
  void setAdCallBackAction(std::function<void(const std::string&)> sink) { adCallBackAction_ = std::move(sink); }

  // Messages.
  /// Registers the built-in handler under ("tavro", "jsbridge").
  void jsbridge();
  /// Sets the handler for `action` in group `name`, replacing an earlier one. Any group
  /// but "tavro" is a programming error and stops the process.
  void registerHandle(const std::string& name, const std::string& action, Handler block);
  /// Routes a decoded message to its handler, then installs its reply function when its
  /// method names a callback.
  void registerMessage(const std::shared_ptr<JSMessageModel>& message);
  /// A value posted to the channel: decoded, made current and routed. False when it
  /// does not decode (it is dropped).
  bool receivePageMessage(const nlohmann::json& body);

  // Replies.
  /// Sends a reply envelope to `callback`; nothing without a callback or with one that is
  /// not a dotted script name.
  void jsCallbackAction(const std::optional<std::string>& callback, std::optional<std::int64_t> ret,
                        const std::optional<std::string>& msg, const nlohmann::json& params);
  /// Sends `params` to the page function `actionID` as escaped JSON. Any thread.
  void injectMessageFunction(const std::optional<std::string>& message, const std::optional<std::string>& actionID,
                             const nlohmann::json& params, ScriptCompletionHandler completionHandler = {});
  /// The envelope script; nothing when the envelope cannot be serialised or `callback`
  /// is not a dotted script name (isCallbackName).
  static std::optional<std::string> replyEnvelopeScript(const std::string& callback, std::optional<std::int64_t> ret,
                                                        const std::optional<std::string>& msg,
                                                        const nlohmann::json& params);
  /// The message-reply script; nothing when `params` cannot be serialised or `actionID`
  /// is not a dotted script name.
  static std::optional<std::string> messageReplyScript(const std::string& actionID, const nlohmann::json& params);
  /// Escapes JSON text for a single-quoted script string: backslash, double quote,
  /// apostrophe, LF, CR, FF, U+2028, U+2029, in this order, then "</" as "<\/".
  static std::optional<std::string> transcodingJavaScriptMessage(const std::optional<std::string>& text);

  // Actions of the built-in handler.
  void bridgeAction(const std::shared_ptr<JSMessageModel>& model);
  void toast(const std::optional<std::string>& text);
  void alert(const std::optional<std::string>& title, const std::optional<std::string>& message,
             const std::optional<std::string>& button1, const std::optional<std::string>& button2,
             const std::optional<std::string>& button3);
  void pageClose();
  void pageConfig(const JSMethodModel* model);
  void adCallBackAction(const JSMethodModel* model);
  /// On return to the foreground: answers {"is_open": notifications on} once per marker.
  void tryFinishCallBack();

  // NavigationDelegate: forwarded to navigationDelegate(); policies cancel without it.
  void decidePolicyForNavigationAction(WebView& webView, const NavigationAction& action,
                                       NavigationActionDecisionHandler decisionHandler) override;
  void decidePolicyForNavigationResponse(WebView& webView, const NavigationResponse& response,
                                         NavigationResponseDecisionHandler decisionHandler) override;
  void didStartProvisionalNavigation(WebView& webView, NavigationId navigation) override;
  void didReceiveServerRedirectForProvisionalNavigation(WebView& webView, NavigationId navigation) override;
  void didFailProvisionalNavigation(WebView& webView, NavigationId navigation, const PlatformError& error) override;
  /// A page of another origin than the last committed one forgets the reply target.
  void didCommitNavigation(WebView& webView, NavigationId navigation) override;
  void didFinishNavigation(WebView& webView, NavigationId navigation) override;
  void didFailNavigation(WebView& webView, NavigationId navigation, const PlatformError& error) override;

  // WebUIDelegate: forwarded to uiDelegate(). Without one, panels complete at once as
  // if their button had been tapped. The confirm panel is left to the web view.
  std::shared_ptr<WebView> createWebView(WebView& webView, const WebViewConfiguration& configuration,
                                         const NavigationAction& action, const WindowFeatures& features) override;
  void runJavaScriptAlertPanel(WebView& webView, const std::string& message, const FrameInfo& frame,
                               std::function<void()> completionHandler) override;
  /// A prompt whose text decodes as a page message makes that message current first.
  void runJavaScriptTextInputPanel(WebView& webView, const std::string& prompt,
                                   const std::optional<std::string>& defaultText, const FrameInfo& frame,
                                   std::function<void(std::optional<std::string>)> completionHandler) override;

 private:
  // pageClose, kept until the container's transitions have ended.
  void closePageWhenSettled();
  explicit WKJSBridge(const std::shared_ptr<WebView>& webView);
  std::optional<std::string> replyTarget() const { return jsModel_ ? jsModel_->replyTarget() : std::nullopt; }
  // Takes the callback out of a message that names no script function (one line).
  static void checkCallback(JSMessageModel& message);
  void forgetReplyTarget();

  std::weak_ptr<WebView> webView_;
  std::weak_ptr<WKJSBridgeUIDelegate> uiDelegate_;
  std::weak_ptr<WKJSBridgeNavigationDelegate> navigationDelegate_;
  std::weak_ptr<ViewController> viewController_;
  HandleMap handleMap_;
  std::string eventDispatcher_ = "window.eventDispatcher";
  std::shared_ptr<JSMessageModel> jsModel_ = std::make_shared<JSMessageModel>();
  std::string openNotifyCallBackStr_;
  // The URL of the last committed main-frame page, and how many times the page changed
  // origin: a reply prepared for an earlier page is not run in a later one.
  std::optional<std::string> committedURL_;
  std::atomic<std::uint64_t> pageGeneration_{0};  // written on the main thread only
  // Built-in actions posted and not yet run, and whether this page has been told of a
  // drop (main thread only).
  std::size_t pendingActions_ = 0;
  bool reportedDrop_ = false;
  std::function<void(bool)> pageConfig_;
  std::function<void(const std::string&)> adCallBackAction_;
};

}  // namespace qvad
