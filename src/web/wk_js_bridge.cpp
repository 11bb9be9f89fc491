#include "web/wk_js_bridge.h"

#include <array>
#include <string_view>
#include <utility>

#include "net/text_utils.h"
#include "net/utils.h"
#include "platform/fatal.h"
#include "platform/log.h"
#include "platform/main_queue.h"
#include "platform/toolkit/alert_controller.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/window.h"
#include "ui/d3_notice_manager.h"
#include "ui/view_controller_helpers.h"
#include "web/page_origin.h"

namespace qvad {
namespace {

constexpr const char* kBuiltInAction = "jsbridge";
constexpr const char* kPanelButton = "sure";

std::string base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += kAlphabet[n >> 6 & 63];
    out += kAlphabet[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += rest == 2 ? kAlphabet[n >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit; (hit = text.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
    out.append(text, pos, hit - pos);
    out.append(to);
  }
  out.append(text, pos, std::string::npos);
  text = std::move(out);
}

std::shared_ptr<ViewController> topViewController() {
  auto window = Application::shared().keyWindow();
  return Utils::topViewControllerWithRootViewController(window ? window->rootViewController() : nullptr);
}

// An argument of the call: the member `key` of its params when it has `type`.
const nlohmann::json* argument(const JSMethodModel* method, const char* key, nlohmann::json::value_t type) {
  if (!method || !method->params || method->params->empty()) return nullptr;
  auto it = method->params->find(key);
  if (it == method->params->end() || it->type() != type) return nullptr;
  return &*it;
}

std::optional<std::string> textArgument(const JSMethodModel* method, const char* key) {
  const nlohmann::json* v = argument(method, key, nlohmann::json::value_t::string);
  return v ? std::optional<std::string>(v->get<std::string>()) : std::nullopt;
}

}  // namespace

// --- creation and release ---

WKJSBridge::WKJSBridge(const std::shared_ptr<WebView>& webView) : webView_(webView) {}

std::shared_ptr<WKJSBridge> WKJSBridge::bind(const std::shared_ptr<WebView>& webView) {
  if (!webView) fatalError("You should call init(webView: WKWebView)");
  std::shared_ptr<WKJSBridge> bridge(new WKJSBridge(webView));
  webView->setUIDelegate(bridge);
  webView->setNavigationDelegate(bridge);
  return bridge;
}

WKJSBridge::~WKJSBridge() {
  if (auto webView = webView_.lock()) webView->configuration().userContentController->removeScriptMessageHandler(kBridgeModuleName);
}

void WKJSBridge::setJsModel(std::shared_ptr<JSMessageModel> model) {
  if (!model) return;
  checkCallback(*model);
  jsModel_ = std::move(model);
}

void WKJSBridge::checkCallback(JSMessageModel& message) {
  if (!message.method || !message.method->callback || isCallbackName(*message.method->callback)) return;
  // The name would be run as script: the message gets no reply at all.
  message.method->callback.reset();
  logLine("WKJSBridge: a page message's callback is not a script function name; it gets no reply");
}

void WKJSBridge::forgetReplyTarget() {
  jsModel_ = std::make_shared<JSMessageModel>();
  ++pageGeneration_;
}

// --- routing ---

void WKJSBridge::jsbridge() {
  // The handler holds the bridge weakly: a strong hold from inside the bridge's own
  // table would keep the bridge, and the "tavro" handler it removes on release, alive
  // for ever. The scheduled action holds it strongly, so a message received is acted on.
  std::weak_ptr<WKJSBridge> weak = weak_from_this();
  registerHandle(kBridgeModuleName, kBuiltInAction, [weak](const std::shared_ptr<JSMessageModel>& model) {
    auto bridge = weak.lock();
    if (!bridge) return;
    if (bridge->pendingActions_ >= kMaxPendingPageMessages) {
      if (!bridge->reportedDrop_)
        logLine("WKJSBridge: the page posts faster than its messages can be handled; past " +
                std::to_string(kMaxPendingPageMessages) + " waiting, later ones are dropped");
      bridge->reportedDrop_ = true;
      return;
    }
    ++bridge->pendingActions_;
    dispatchMain([bridge, model] {
      --bridge->pendingActions_;
      bridge->bridgeAction(model);
    });
  });
}

void WKJSBridge::registerHandle(const std::string& name, const std::string& action, Handler block) {
  if (name != kBridgeModuleName) fatalError("在 JS 调用模块没有使用前，我们必须使用默认 tavro");
  handleMap_[name][action] = std::move(block);
}

void WKJSBridge::registerMessage(const std::shared_ptr<JSMessageModel>& message) {
  if (!message) return;
  checkCallback(*message);
  if (message->handle) {
    auto group = handleMap_.find(*message->handle);
    if (group != handleMap_.end()) {
      auto handler = group->second.find(message->action.value_or(""));
      if (handler != group->second.end() && handler->second) {
        Handler h = handler->second;  // copied: a handler may register handlers
        h(message);
      }
    }
  }
  if (message->method && message->method->callback && !message->method->callback->empty()) {
    // The message is held weakly: it owns this function, and only its owner can call it.
    std::weak_ptr<WKJSBridge> weakBridge = weak_from_this();
    std::weak_ptr<JSMessageModel> weakMessage = message;
    message->setCallback([weakBridge, weakMessage, generation = pageGeneration_.load()](const nlohmann::json& params) {
      auto bridge = weakBridge.lock();
      auto m = weakMessage.lock();
      if (!bridge || !m || bridge->pageGeneration_ != generation) return;
      bridge->injectMessageFunction(std::nullopt, m->replyTarget(), params);
    });
  }
}

bool WKJSBridge::receivePageMessage(const nlohmann::json& body) {
  auto message = JSMessageModel::decode(body);
  if (!message) return false;
  checkCallback(*message);
  jsModel_ = message;
  registerMessage(message);
  return true;
}

// --- replies ---

std::optional<std::string> WKJSBridge::replyEnvelopeScript(const std::string& callback, std::optional<std::int64_t> ret,
                                                           const std::optional<std::string>& msg,
                                                           const nlohmann::json& params) {
  if (!isCallbackName(callback)) return std::nullopt;
  nlohmann::json reply = nlohmann::json::object();
  reply["ret"] = ret.value_or(-1);
  reply["msg"] = msg.value_or("");
  auto paramsJSON = toJSONString(params);
  reply["params"] = paramsJSON ? base64(*paramsJSON) : std::string();
  auto text = getJSONString(reply);
  if (!text) return std::nullopt;
  return callback + "('" + *text + "')";
}

std::optional<std::string> WKJSBridge::messageReplyScript(const std::string& actionID, const nlohmann::json& params) {
  if (!isCallbackName(actionID)) return std::nullopt;
  auto escaped = transcodingJavaScriptMessage(getJSONString(params));
  if (!escaped) return std::nullopt;
  return actionID + "('" + *escaped + "')";
}

std::optional<std::string> WKJSBridge::transcodingJavaScriptMessage(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  static const std::array<std::pair<std::string_view, std::string_view>, 9> kEscapes{{
      {"\\", "\\\\"},
      {"\"", "\\\""},
      {"'", "\\'"},
      {"\n", "\\n"},
      {"\r", "\\r"},
      {"\f", "\\f"},
      {"\u2028", "\\u2028"},
      {"\u2029", "\\u2029"},
      // A reply script may end up inside a page's <script> element, which "</script"
      // would close; "\/" reads as "/" in the string.
      {"</", "<\\/"},
  }};
  std::string out = *text;
  for (const auto& [from, to] : kEscapes) replaceAll(out, from, to);
  return out;
}

void WKJSBridge::jsCallbackAction(const std::optional<std::string>& callback, std::optional<std::int64_t> ret,
                                  const std::optional<std::string>& msg, const nlohmann::json& params) {
  if (!callback) return;
  auto script = replyEnvelopeScript(*callback, ret, msg, params);
  if (!script) return;
  if (auto webView = webView_.lock()) webView->evaluateJavaScript(*script);
}

void WKJSBridge::injectMessageFunction(const std::optional<std::string>& /*message*/,
                                       const std::optional<std::string>& actionID, const nlohmann::json& params,
                                       ScriptCompletionHandler completionHandler) {
  if (!actionID) return;
  auto script = messageReplyScript(*actionID, params);
  if (!script) return;
  // A reply that crosses a change of page is dropped on the main thread.
  runOnMain([self = shared_from_this(), script = std::move(*script), completionHandler = std::move(completionHandler),
             generation = pageGeneration_.load()] {
    if (self->pageGeneration_ != generation) return;
    if (auto webView = self->webView_.lock()) webView->evaluateJavaScript(script, completionHandler);
  });
}

// --- actions ---

void WKJSBridge::bridgeAction(const std::shared_ptr<JSMessageModel>& model) {
  if (!model) return;
  jsModel_ = model;
  const JSMethodModel* method = model->method.get();
  const std::string name = method ? method->method.value_or("") : "";
  if (name == "toast") {
    toast(textArgument(method, "text"));
  } else if (name == "userInfo" || name == "device") {
    // Recognised, and deliberately silent.
  } else if (name == "alert") {
    alert(textArgument(method, "title"), textArgument(method, "message"), textArgument(method, "button1"),
          textArgument(method, "button2"), textArgument(method, "button3"));
  } else if (name == "pageClose") {
    pageClose();
  } else if (name == "pageConfig") {
    pageConfig(method);
  } else if (name == "adCallBack") {
    adCallBackAction(method);
  } else {
    jsCallbackAction(replyTarget(), 10, "", nlohmann::json::object());
  }
}

void WKJSBridge::toast(const std::optional<std::string>& text) {
  if (!text) return;
  if (topViewController()) D3NoticeManager::sharedInstance().showText(*text, 2.0, true, std::nullopt);
  jsCallbackAction(replyTarget(), 0, "", {{"result", "1"}});
}

void WKJSBridge::alert(const std::optional<std::string>& title, const std::optional<std::string>& message,
                       const std::optional<std::string>& button1, const std::optional<std::string>& button2,
                       const std::optional<std::string>& button3) {
  auto controller = std::make_shared<AlertController>(title.value_or(""), message.value_or(""));
  std::weak_ptr<WKJSBridge> weak = weak_from_this();
  auto addButton = [&](const std::string& text, int clicked) {
    controller->addAction(AlertAction{text, AlertActionStyle::defaultStyle, [weak, clicked](const AlertAction&) {
                                        if (auto bridge = weak.lock())
                                          bridge->jsCallbackAction(bridge->replyTarget(), 0, "", {{"clicked", clicked}});
                                      }});
  };
  const std::optional<std::string>* buttons[] = {&button1, &button2, &button3};
  for (int i = 0; i < 3; ++i) {
    if (*buttons[i]) addButton(**buttons[i], -(i + 1));
  }
  // An alert without buttons could never be dismissed: it gets "sure", answering as button1.
  if (controller->actions().empty()) addButton(kPanelButton, -1);
  if (auto top = topViewController()) top->present(controller, true);
}

void WKJSBridge::pageClose() { closePageWhenSettled(); }

void WKJSBridge::closePageWhenSettled() {
  auto webView = webView_.lock();
  if (!webView) return;
  auto own = getFirstViewController(*webView);
  if (!own) return;
  // A page may ask to close while its container is still sliding in (or something over
  // it is coming or going): the request waits for the transition instead of being lost.
  if (own->transitionInProgress()) {
    std::weak_ptr<WKJSBridge> weak = weak_from_this();
    own->whenTransitionsEnd([weak] {
      if (auto bridge = weak.lock()) bridge->closePageWhenSettled();
    });
    return;
  }
  auto top = topViewController();
  if (!top || top != own) return;
  // The top search answers an alert's presenter, so a container showing an alert would
  // count as on top; stepping back would then dismiss only the alert while announcing
  // the ad's close. A covered container stays.
  if (own->presentedViewController()) return;
  if (adCallBackAction_) adCallBackAction_("adWillClose");
  std::weak_ptr<WKJSBridge> weak = weak_from_this();
  transitionPreviousVc(true, [weak] {
    auto bridge = weak.lock();
    if (bridge && bridge->adCallBackAction_) bridge->adCallBackAction_("adDidClose");
  });
}

void WKJSBridge::pageConfig(const JSMethodModel* model) {
  if (pageConfig_) {
    const nlohmann::json* v = argument(model, "link_new_window", nlohmann::json::value_t::boolean);
    pageConfig_(v ? v->get<bool>() : false);
  }
  jsCallbackAction(replyTarget(), 0, "", nlohmann::json::object());
}

void WKJSBridge::adCallBackAction(const JSMethodModel* model) {
  if (adCallBackAction_) adCallBackAction_(textArgument(model, "action").value_or(""));
}

void WKJSBridge::tryFinishCallBack() {
  if (openNotifyCallBackStr_.empty()) return;
  // Settings not yet determined count as on, as an application without settings does.
  const bool isOpen = Application::shared().notificationAuthorization() != NotificationAuthorization::denied;
  jsCallbackAction(replyTarget(), 0, "", {{"is_open", isOpen}});
  openNotifyCallBackStr_.clear();
}

// --- navigation forwarding ---

void WKJSBridge::decidePolicyForNavigationAction(WebView& webView, const NavigationAction& action,
                                                 NavigationActionDecisionHandler decisionHandler) {
  if (auto d = navigationDelegate()) {
    d->decidePolicyForNavigationAction(webView, action, std::move(decisionHandler));
  } else if (decisionHandler) {
    decisionHandler(NavigationActionPolicy::cancel);
  }
}

void WKJSBridge::decidePolicyForNavigationResponse(WebView& webView, const NavigationResponse& response,
                                                   NavigationResponseDecisionHandler decisionHandler) {
  if (auto d = navigationDelegate()) {
    d->decidePolicyForNavigationResponse(webView, response, std::move(decisionHandler));
  } else if (decisionHandler) {
    decisionHandler(NavigationResponsePolicy::cancel);
  }
}

void WKJSBridge::didStartProvisionalNavigation(WebView& webView, NavigationId navigation) {
  if (auto d = navigationDelegate()) d->didStartProvisionalNavigation(webView, navigation);
}

void WKJSBridge::didReceiveServerRedirectForProvisionalNavigation(WebView& webView, NavigationId navigation) {
  if (auto d = navigationDelegate()) d->didReceiveServerRedirectForProvisionalNavigation(webView, navigation);
}

void WKJSBridge::didFailProvisionalNavigation(WebView& webView, NavigationId navigation, const PlatformError& error) {
  if (auto d = navigationDelegate()) d->didFailProvisionalNavigation(webView, navigation, error);
}

void WKJSBridge::didCommitNavigation(WebView& webView, NavigationId navigation) {
  // The engine reports main-frame commits only; the page now shown decides.
  const std::string url = webView.url().value_or("");
  if (committedURL_ && !sameOrigin(*committedURL_, url)) forgetReplyTarget();
  committedURL_ = url;
  reportedDrop_ = false;  // a new page hears of its own flood
  if (auto d = navigationDelegate()) d->didCommitNavigation(webView, navigation);
}

void WKJSBridge::didFinishNavigation(WebView& webView, NavigationId navigation) {
  if (auto d = navigationDelegate()) d->didFinishNavigation(webView, navigation);
}

void WKJSBridge::didFailNavigation(WebView& webView, NavigationId navigation, const PlatformError& error) {
  if (auto d = navigationDelegate()) d->didFailNavigation(webView, navigation, error);
}

// --- UI forwarding ---

std::shared_ptr<WebView> WKJSBridge::createWebView(WebView& webView, const WebViewConfiguration& configuration,
                                                   const NavigationAction& action, const WindowFeatures& features) {
  auto d = uiDelegate();
  return d ? d->createWebView(webView, configuration, action, features) : nullptr;
}

void WKJSBridge::runJavaScriptAlertPanel(WebView& webView, const std::string& message, const FrameInfo& frame,
                                         std::function<void()> completionHandler) {
  if (auto d = uiDelegate()) {
    d->runJavaScriptAlertPanel(webView, message, frame, std::move(completionHandler));
  } else if (completionHandler) {
    completionHandler();
  }
}

void WKJSBridge::runJavaScriptTextInputPanel(WebView& webView, const std::string& prompt,
                                             const std::optional<std::string>& defaultText, const FrameInfo& frame,
                                             std::function<void(std::optional<std::string>)> completionHandler) {
  // A second way in for messages: it only changes where later replies go.
  if (auto message = JSMessageModel::decodeText(prompt)) {
    checkCallback(*message);
    jsModel_ = std::move(message);
  }
  if (auto d = uiDelegate()) {
    d->runJavaScriptTextInputPanel(webView, prompt, defaultText, frame, std::move(completionHandler));
  } else if (completionHandler) {
    completionHandler(defaultText);
  }
}

// --- default panels ---

namespace {
// Presents a panel; false when it could not be shown (the top controller presents
// something already, say the page's own alert). The engine waits for every panel's
// answer, so a panel nobody sees is answered at once, as with nothing to present on.
bool presentPanel(ViewController& top, const std::shared_ptr<AlertController>& panel) {
  top.present(panel, true);
  return panel->presentingViewController() != nullptr;
}
}  // namespace

void WKJSBridgeUIDelegate::runJavaScriptAlertPanel(WebView&, const std::string& message, const FrameInfo&,
                                                   std::function<void()> completionHandler) {
  auto top = message.empty() ? nullptr : topViewController();
  if (!top) {
    if (completionHandler) completionHandler();
    return;
  }
  auto controller = std::make_shared<AlertController>(std::string(), message);
  controller->addAction(AlertAction{kPanelButton, AlertActionStyle::defaultStyle,
                                    [completionHandler](const AlertAction&) {
                                      if (completionHandler) completionHandler();
                                    }});
  if (!presentPanel(*top, controller) && completionHandler) completionHandler();
}

void WKJSBridgeUIDelegate::runJavaScriptTextInputPanel(WebView&, const std::string& prompt,
                                                       const std::optional<std::string>& defaultText,
                                                       const FrameInfo&,
                                                       std::function<void(std::optional<std::string>)> completionHandler) {
  auto top = topViewController();
  if (!top) {
    if (completionHandler) completionHandler(defaultText);
    return;
  }
  auto controller = std::make_shared<AlertController>(std::string(), prompt);
  controller->addTextField([&](TextField& field) { field.setText(defaultText.value_or("")); });
  // The field itself, not the alert: the answer is read after the alert is gone.
  std::shared_ptr<TextField> field = controller->textFields().front();
  controller->addAction(AlertAction{kPanelButton, AlertActionStyle::defaultStyle,
                                    [completionHandler, field](const AlertAction&) {
                                      if (completionHandler) completionHandler(field->text());
                                    }});
  if (!presentPanel(*top, controller) && completionHandler) completionHandler(defaultText);
}

}  // namespace qvad
