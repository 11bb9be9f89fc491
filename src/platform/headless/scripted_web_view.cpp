#include "platform/headless/scripted_web_view.h"

#include <utility>

namespace qvad {

ScriptedWebView::ScriptedWebView(Rect frame, WebViewConfiguration configuration)
    : WebView(frame, std::move(configuration)) {}

NavigationId ScriptedWebView::startCall(LoadCall::Kind kind, WebRequest request, std::string html) {
  NavigationId id = nextNavigationId();
  loadCalls_.push_back(LoadCall{kind, std::move(request), std::move(html), id});
  return id;
}

NavigationId ScriptedWebView::load(const WebRequest& request) {
  return startCall(LoadCall::Kind::request, request);
}

NavigationId ScriptedWebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
  return startCall(LoadCall::Kind::html, WebRequest(baseURL), html);
}

NavigationId ScriptedWebView::reload() {
  return startCall(LoadCall::Kind::reload, WebRequest(url_.value_or("")));
}

void ScriptedWebView::stopLoading() {
  loadCalls_.push_back(LoadCall{LoadCall::Kind::stop, {}, {}, 0});
  setLoading(false);
}

NavigationId ScriptedWebView::goBack() {
  if (!canGoBack()) {
    loadCalls_.push_back(LoadCall{LoadCall::Kind::goBack, {}, {}, 0});
    return 0;
  }
  --historyIndex_;
  NavigationId id = startCall(LoadCall::Kind::goBack, WebRequest(history_[historyIndex_]));
  setURL(history_[historyIndex_]);
  notifyObservers(WebViewProperty::canGoBack);
  return id;
}

NavigationId ScriptedWebView::goForward() {
  if (!canGoForward()) {
    loadCalls_.push_back(LoadCall{LoadCall::Kind::goForward, {}, {}, 0});
    return 0;
  }
  ++historyIndex_;
  NavigationId id = startCall(LoadCall::Kind::goForward, WebRequest(history_[historyIndex_]));
  setURL(history_[historyIndex_]);
  notifyObservers(WebViewProperty::canGoBack);
  return id;
}

void ScriptedWebView::evaluateJavaScript(const std::string& script, ScriptCompletionHandler completionHandler) {
  scripts_.push_back(EvaluatedScript{script, std::move(completionHandler)});
}

void ScriptedWebView::draw(GraphicsContext& context, Rect /*rect*/) {
  Rect b = bounds();
  context.saveState();
  context.setFillColor(Color{0.93, 0.93, 0.93, 1});
  context.moveTo({0, 0});
  context.addLineTo({b.width(), 0});
  context.addLineTo({b.width(), b.height()});
  context.addLineTo({0, b.height()});
  context.closePath();
  context.fillPath();
  context.setStrokeColor(Color{0.7, 0.7, 0.7, 1});
  context.setLineWidth(1);
  context.moveTo({0, 0});
  context.addLineTo({b.width(), b.height()});
  context.moveTo({b.width(), 0});
  context.addLineTo({0, b.height()});
  context.strokePath();
  context.restoreState();
}

std::vector<std::string> ScriptedWebView::evaluatedScriptTexts() const {
  std::vector<std::string> texts;
  texts.reserve(scripts_.size());
  for (const auto& s : scripts_) texts.push_back(s.script);
  return texts;
}

bool ScriptedWebView::completeScript(std::size_t index, std::optional<nlohmann::json> result,
                                     std::optional<PlatformError> error) {
  if (index >= scripts_.size()) return false;
  // Copied: the handler may evaluate more scripts, which grows scripts_.
  ScriptCompletionHandler handler = scripts_[index].completionHandler;
  if (handler) handler(std::move(result), std::move(error));
  return true;
}

void ScriptedWebView::clearRecords() {
  loadCalls_.clear();
  scripts_.clear();
}

void ScriptedWebView::setURL(std::optional<std::string> url) {
  url_ = std::move(url);
  notifyObservers(WebViewProperty::url);
}

void ScriptedWebView::setTitle(std::optional<std::string> title) {
  title_ = std::move(title);
  notifyObservers(WebViewProperty::title);
}

void ScriptedWebView::setEstimatedProgress(double progress) {
  progress_ = progress < 0 ? 0 : (progress > 1 ? 1 : progress);
  notifyObservers(WebViewProperty::estimatedProgress);
}

void ScriptedWebView::setLoading(bool loading) {
  if (loading_ == loading) return;
  loading_ = loading;
  notifyObservers(WebViewProperty::isLoading);
}

void ScriptedWebView::deliverDidStartProvisional(NavigationId navigation) {
  setLoading(true);
  if (auto d = navigationDelegate()) d->didStartProvisionalNavigation(*this, navigation);
}

void ScriptedWebView::deliverServerRedirect(NavigationId navigation, const std::string& /*newURL*/) {
  if (auto d = navigationDelegate()) d->didReceiveServerRedirectForProvisionalNavigation(*this, navigation);
}

void ScriptedWebView::deliverDidCommit(NavigationId navigation, const std::string& url) {
  if (!history_.empty()) history_.resize(historyIndex_ + 1);
  history_.push_back(url);
  historyIndex_ = history_.size() - 1;
  setURL(url);
  notifyObservers(WebViewProperty::canGoBack);
  if (auto d = navigationDelegate()) d->didCommitNavigation(*this, navigation);
}

void ScriptedWebView::deliverDidFinish(NavigationId navigation) {
  setEstimatedProgress(1);
  setLoading(false);
  if (auto d = navigationDelegate()) d->didFinishNavigation(*this, navigation);
}

void ScriptedWebView::deliverDidFailProvisional(NavigationId navigation, const PlatformError& error) {
  setLoading(false);
  if (auto d = navigationDelegate()) d->didFailProvisionalNavigation(*this, navigation, error);
}

void ScriptedWebView::deliverDidFail(NavigationId navigation, const PlatformError& error) {
  setLoading(false);
  if (auto d = navigationDelegate()) d->didFailNavigation(*this, navigation, error);
}

void ScriptedWebView::deliverLoad(NavigationId navigation, const std::string& url, std::optional<std::string> title) {
  deliverDidStartProvisional(navigation);
  deliverDidCommit(navigation, url);
  if (title) setTitle(std::move(title));
  deliverDidFinish(navigation);
}

std::shared_ptr<const ScriptedWebView::Answers<NavigationActionPolicy>> ScriptedWebView::decidePolicy(
    const NavigationAction& action) {
  auto answers = std::make_shared<Answers<NavigationActionPolicy>>();
  askNavigationActionPolicy(action, [answers](NavigationActionPolicy p) { answers->values.push_back(p); });
  return answers;
}

std::shared_ptr<const ScriptedWebView::Answers<NavigationResponsePolicy>> ScriptedWebView::decidePolicy(
    const NavigationResponse& response) {
  auto answers = std::make_shared<Answers<NavigationResponsePolicy>>();
  askNavigationResponsePolicy(response, [answers](NavigationResponsePolicy p) { answers->values.push_back(p); });
  return answers;
}

NavigationAction ScriptedWebView::linkAction(const std::string& url) {
  NavigationAction action;
  action.request = WebRequest(url);
  action.navigationType = NavigationType::linkActivated;
  action.sourceFrame = FrameInfo{};
  action.targetFrame = FrameInfo{};
  return action;
}

NavigationAction ScriptedWebView::newWindowAction(const std::string& url) {
  NavigationAction action = linkAction(url);
  action.targetFrame.reset();
  return action;
}

std::shared_ptr<WebView> ScriptedWebView::requestNewWindow(const NavigationAction& action,
                                                           const WindowFeatures& features) {
  return askCreateWebView(configuration(), action, features);
}

std::shared_ptr<const ScriptedWebView::AlertAnswers> ScriptedWebView::runAlertPanel(const std::string& message) {
  auto answers = std::make_shared<AlertAnswers>();
  askAlertPanel(message, FrameInfo{true, WebRequest(url_.value_or(""))}, [answers] { ++answers->count; });
  return answers;
}

std::shared_ptr<const ScriptedWebView::Answers<bool>> ScriptedWebView::runConfirmPanel(const std::string& message) {
  auto answers = std::make_shared<Answers<bool>>();
  askConfirmPanel(message, FrameInfo{true, WebRequest(url_.value_or(""))},
                  [answers](bool ok) { answers->values.push_back(ok); });
  return answers;
}

std::shared_ptr<const ScriptedWebView::Answers<std::optional<std::string>>> ScriptedWebView::runTextInputPanel(
    const std::string& prompt, const std::optional<std::string>& defaultText) {
  auto answers = std::make_shared<Answers<std::optional<std::string>>>();
  askTextInputPanel(prompt, defaultText, FrameInfo{true, WebRequest(url_.value_or(""))},
                    [answers](std::optional<std::string> text) { answers->values.push_back(std::move(text)); });
  return answers;
}

bool ScriptedWebView::postMessage(const std::string& name, nlohmann::json body) {
  ScriptMessage message;
  message.name = name;
  message.body = std::move(body);
  message.frameInfo = FrameInfo{true, WebRequest(url_.value_or(""))};
  message.webView = std::static_pointer_cast<WebView>(shared_from_this());
  // Held for the call: a handler may release the content controller's last other owner.
  std::shared_ptr<UserContentController> controller = configuration().userContentController;
  return controller->deliver(message);
}

}  // namespace qvad
