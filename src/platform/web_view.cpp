#include "platform/web_view.h"

#include "platform/headless/scripted_web_view.h"

#if QVAD_BACKEND_GTK
#include "platform/gtk/web_view_webkit.h"
#endif

namespace qvad {

void NavigationDelegate::decidePolicyForNavigationAction(WebView&, const NavigationAction&,
                                                         NavigationActionDecisionHandler decisionHandler) {
  if (decisionHandler) decisionHandler(NavigationActionPolicy::allow);
}

void NavigationDelegate::decidePolicyForNavigationResponse(WebView&, const NavigationResponse&,
                                                           NavigationResponseDecisionHandler decisionHandler) {
  if (decisionHandler) decisionHandler(NavigationResponsePolicy::allow);
}

std::shared_ptr<WebView> WebUIDelegate::createWebView(WebView&, const WebViewConfiguration&, const NavigationAction&,
                                                      const WindowFeatures&) {
  return nullptr;
}

void WebUIDelegate::runJavaScriptAlertPanel(WebView&, const std::string&, const FrameInfo&,
                                            std::function<void()> completionHandler) {
  if (completionHandler) completionHandler();
}

void WebUIDelegate::runJavaScriptConfirmPanel(WebView&, const std::string&, const FrameInfo&,
                                              std::function<void(bool)> completionHandler) {
  if (completionHandler) completionHandler(false);
}

void WebUIDelegate::runJavaScriptTextInputPanel(WebView&, const std::string&, const std::optional<std::string>&,
                                                const FrameInfo&,
                                                std::function<void(std::optional<std::string>)> completionHandler) {
  if (completionHandler) completionHandler(std::nullopt);
}

bool UserContentController::addScriptMessageHandler(std::shared_ptr<ScriptMessageHandler> handler,
                                                    const std::string& name) {
  if (!handler || name.empty() || handlers_.count(name)) return false;
  handlers_.emplace(name, std::move(handler));
  return true;
}

void UserContentController::removeScriptMessageHandler(const std::string& name) { handlers_.erase(name); }

void UserContentController::removeAllScriptMessageHandlers() { handlers_.clear(); }

std::shared_ptr<ScriptMessageHandler> UserContentController::scriptMessageHandler(const std::string& name) const {
  auto it = handlers_.find(name);
  return it == handlers_.end() ? nullptr : it->second;
}

std::vector<std::string> UserContentController::scriptMessageHandlerNames() const {
  std::vector<std::string> names;
  for (const auto& [name, handler] : handlers_) names.push_back(name);
  return names;
}

bool UserContentController::deliver(const ScriptMessage& message) {
  // Held for the call: the handler may remove itself while it runs.
  std::shared_ptr<ScriptMessageHandler> handler = scriptMessageHandler(message.name);
  if (!handler) return false;
  handler->didReceiveScriptMessage(*this, message);
  return true;
}

WebView::WebView(Rect frame, WebViewConfiguration configuration)
    : View(frame), configuration_(std::move(configuration)) {
  if (!configuration_.userContentController) configuration_.userContentController = std::make_shared<UserContentController>();
}

WebView::~WebView() = default;

WebViewObserverId WebView::addObserver(WebViewProperty property, WebViewObserver observer) {
  WebViewObserverId id = nextObserverId_++;
  observers_.emplace(id, Observation{property, std::move(observer)});
  return id;
}

void WebView::removeObserver(WebViewObserverId id) { observers_.erase(id); }

void WebView::notifyObservers(WebViewProperty property) {
  // Observers may add or remove observers while they run: walk a snapshot of the ids and
  // skip those removed meanwhile.
  std::vector<WebViewObserverId> ids;
  for (const auto& [id, observation] : observers_) {
    if (observation.property == property) ids.push_back(id);
  }
  for (WebViewObserverId id : ids) {
    auto it = observers_.find(id);
    if (it == observers_.end()) continue;
    WebViewObserver observer = it->second.observer;
    if (observer) observer(*this, property);
  }
}

void WebView::askNavigationActionPolicy(const NavigationAction& action, NavigationActionDecisionHandler handler) {
  if (auto delegate = navigationDelegate()) {
    delegate->decidePolicyForNavigationAction(*this, action, std::move(handler));
  } else if (handler) {
    handler(NavigationActionPolicy::allow);
  }
}

void WebView::askNavigationResponsePolicy(const NavigationResponse& response,
                                          NavigationResponseDecisionHandler handler) {
  if (auto delegate = navigationDelegate()) {
    delegate->decidePolicyForNavigationResponse(*this, response, std::move(handler));
  } else if (handler) {
    handler(NavigationResponsePolicy::allow);
  }
}

std::shared_ptr<WebView> WebView::askCreateWebView(const WebViewConfiguration& configuration,
                                                   const NavigationAction& action, const WindowFeatures& features) {
  auto delegate = uiDelegate();
  return delegate ? delegate->createWebView(*this, configuration, action, features) : nullptr;
}

void WebView::askAlertPanel(const std::string& message, const FrameInfo& frame, std::function<void()> completion) {
  if (auto delegate = uiDelegate()) {
    delegate->runJavaScriptAlertPanel(*this, message, frame, std::move(completion));
  } else if (completion) {
    completion();
  }
}

void WebView::askConfirmPanel(const std::string& message, const FrameInfo& frame,
                              std::function<void(bool)> completion) {
  if (auto delegate = uiDelegate()) {
    delegate->runJavaScriptConfirmPanel(*this, message, frame, std::move(completion));
  } else if (completion) {
    completion(false);
  }
}

void WebView::askTextInputPanel(const std::string& prompt, const std::optional<std::string>& defaultText,
                                const FrameInfo& frame, std::function<void(std::optional<std::string>)> completion) {
  if (auto delegate = uiDelegate()) {
    delegate->runJavaScriptTextInputPanel(*this, prompt, defaultText, frame, std::move(completion));
  } else if (completion) {
    completion(std::nullopt);
  }
}

namespace {
std::function<std::shared_ptr<WebView>(Rect, WebViewConfiguration)>& webViewMaker() {
  static std::function<std::shared_ptr<WebView>(Rect, WebViewConfiguration)> maker;
  return maker;
}
}  // namespace

void setWebViewMaker(std::function<std::shared_ptr<WebView>(Rect, WebViewConfiguration)> maker) {
  webViewMaker() = std::move(maker);
}

std::shared_ptr<WebView> makeWebView(Rect frame, WebViewConfiguration configuration) {
  if (auto& maker = webViewMaker()) return maker(frame, std::move(configuration));
#if QVAD_BACKEND_GTK
  return makeGtkWebView(frame, std::move(configuration));
#else
  return std::make_shared<ScriptedWebView>(frame, std::move(configuration));
#endif
}

}  // namespace qvad
