#include "web/base_wk_web_view_controller.h"

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/dispatch.h"
#include "platform/http_session.h"
#include "platform/log.h"
#include "platform/resources.h"
#include "platform/toolkit/application.h"
#include "platform/url_cache.h"
#include "ui/open_sfvc_manager.h"
#include "ui/screen_metrics.h"
#include "ui/view_controller_helpers.h"
#include "web/web_container_layout.h"
#include "web/qv_weak_script_message_delegate.h"

namespace qvad {

namespace {

double nowMs() { return Clock::current()->secondsSince1970() * 1000.0; }

bool isNetworkErrorCode(long code) {
  return code == URLError::notConnectedToInternet || code == URLError::timedOut;
}

// Leaves the screen; once a dismissal (not a pop) has finished, "adDidClose" goes to
// the container if it still exists. Runs whether or not the container is still there.
void stepBack(const std::weak_ptr<BaseWKWebViewController>& weak) {
  transitionPreviousVc(true, [weak] {
    if (auto self = weak.lock()) {
      if (auto cb = self->adCallBackAction) cb("adDidClose");
    }
  });
}

std::shared_ptr<Button> makeBarButton(const char* image) {
  auto b = View::make<Button>();
  b->setImage(Resources::image(image));  // a missing image leaves a blank button
  return b;
}

}  // namespace

BaseWKWebViewController::BaseWKWebViewController() = default;

BaseWKWebViewController::~BaseWKWebViewController() {
  auto& cache = URLCache::shared();
  cache.removeAllCachedResponses();
  cache.setDiskCapacity(kURLCacheCapacityAfterContainer);
  cache.setMemoryCapacity(kURLCacheCapacityAfterContainer);
  // A file write: off the main thread, into the store of the data directory of now.
  GlobalQueue::async([defaults = Defaults::standard()] { defaults->set(kWebKitCacheModelPreferenceKey, 0); });
  if (webView) {
    for (auto id : webViewObservers_) webView->removeObserver(id);
  }
  for (auto id : notificationObservers_) NotificationCenter::defaultCenter().removeObserver(id);
  logLine(std::string("\n\n---------deinit:") + runtimeClassName_ + "---------\n\n");
}

std::weak_ptr<BaseWKWebViewController> BaseWKWebViewController::weakSelf() {
  return sharedAs<BaseWKWebViewController>();
}

bool BaseWKWebViewController::ShowQvWebView(const std::string& url, const std::shared_ptr<ViewController>& rootVC,
                                            bool animated, AdCallBack adCallBack) {
  auto options = parseContainerURL(url);
  if (!options) return false;
  auto container = std::make_shared<BaseWKWebViewController>();
  container->setModalPresentationStyle(ModalPresentationStyle::custom);
  container->adCallBackAction = std::move(adCallBack);
  container->applyOptions(*options);
  if (rootVC) rootVC->present(container, animated);
  return true;
}

void BaseWKWebViewController::ShowWebView(const std::string& url, const std::shared_ptr<ViewController>& rootVC,
                                          bool animated, AdCallBack adCallBack) {
  if (ShowQvWebView(url, rootVC, animated, adCallBack)) return;
  auto container = std::make_shared<BaseWKWebViewController>();
  container->setModalPresentationStyle(ModalPresentationStyle::custom);
  // Text that makes no URL loads nothing, as a container without a page.
  if (isValidURLText(url)) container->url = url;
  container->adCallBackAction = std::move(adCallBack);
  if (rootVC) rootVC->present(container, animated);
}

void BaseWKWebViewController::applyOptions(const WebContainerOptions& options) {
  url = options.url;
  fullscreen = options.fullscreen;
  showTitleBar = options.showTitleBar;
  pageStatusBarLight = options.pageStatusBarLight;
  showStatusBar = options.showStatusBar;
  showProgressBar = options.showProgressBar;
}

StatusBarStyle BaseWKWebViewController::preferredStatusBarStyle() const {
  return pageStatusBarLight ? StatusBarStyle::lightContent : StatusBarStyle::defaultStyle;
}

bool BaseWKWebViewController::prefersStatusBarHidden() const { return !showStatusBar; }

void BaseWKWebViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  loadViewBeignTime = nowMs();
  setupUI();
  auto& cache = URLCache::shared();
  cache.removeAllCachedResponses();
  cache.setDiskCapacity(0);
  cache.setMemoryCapacity(0);
  startWebview();
}

void BaseWKWebViewController::setupUI() {
  auto root = view();
  auto weak = weakSelf();
  // No colour of its own: with the shortened title bar the band above the page shows the
  // host's screen.
  root->setBackgroundColor(std::nullopt);

  navigationBarView = View::make<View>();
  navigationBarView->setBackgroundColor(Color::white());
  navigationBarView->setClipsToBounds(true);
  root->addSubview(navigationBarView);

  buttonStripView = View::make<View>();
  buttonStripView->setBackgroundColor(Color::clear());
  buttonStripView->setClipsToBounds(true);
  navigationBarView->addSubview(buttonStripView);

  backBtn = makeBarButton("ic_back");
  backBtn->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->onBackClicked();
  });
  buttonStripView->addSubview(backBtn);

  closeBtn = makeBarButton("ic_nav_close");
  closeBtn->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->tapColseBtn();
  });
  buttonStripView->addSubview(closeBtn);
  closeBtn->setHidden(true);  // shown once the page can go back

  barDividerView = View::make<View>();
  navigationBarView->addSubview(barDividerView);

  setupWebView();
  // Without the title bar's buttons the strip goes, the white bar stays.
  buttonStripView->setHidden(!showTitleBar);

  progressView = View::make<ProgressView>();
  progressView->setTrackTintColor(Color::clear());
  progressView->setProgressTintColor(Color::rgb(59, 166, 255));
  root->addSubview(progressView);
  layoutChrome();

  if (!showBackBtn) backBtn->setHidden(true);
  registerApplicationNotifications();
}

void BaseWKWebViewController::layoutChrome() {
  // Nothing to move before setupUI has made the last of it.
  if (!isViewLoaded() || !navigationBarView || !buttonStripView || !backBtn || !closeBtn || !barDividerView ||
      !webView || !progressView)
    return;
  const Rect b = view()->bounds();
  const WebContainerLayout layout =
      webContainerLayout(b.width(), b.height(), kStatusBarHeight(), {fullscreen, showTitleBar, showProgressBar});
  navigationBarView->setFrame(layout.navigationBar);
  buttonStripView->setFrame(layout.buttonStrip);
  backBtn->setFrame(layout.backButton);
  closeBtn->setFrame(layout.closeButton);
  barDividerView->setFrame(layout.divider);
  webView->setFrame(layout.webView);
  progressView->setFrame(layout.progressBar);
}

void BaseWKWebViewController::viewDidLayoutSubviews() {
  ViewController::viewDidLayoutSubviews();
  layoutChrome();
  layoutNetSettingView();
}

void BaseWKWebViewController::setupWebView() {
  auto weak = weakSelf();
  webViewConfiguration = std::make_shared<WebViewConfiguration>();
  webViewConfiguration->minimumFontSize = 0;
  webViewConfiguration->javaScriptEnabled = true;
  webViewConfiguration->javaScriptCanOpenWindowsAutomatically = true;
  webViewConfiguration->allowsInlineMediaPlayback = true;
  webViewConfiguration->requiresUserActionForMediaPlayback = false;
  webViewConfiguration->allowsPictureInPictureMediaPlayback = true;

  // The content controller holds its handlers strongly: a weak proxy keeps the
  // container out of a cycle through its own web view.
  userContentController = std::make_shared<UserContentController>();
  userContentController->addScriptMessageHandler(
      std::make_shared<QvWeakScriptMessageDelegate>(std::weak_ptr<ScriptMessageHandler>(weak)), "tavro");
  webViewConfiguration->userContentController = userContentController;

  webView = makeWebView(Rect{}, *webViewConfiguration);

  jsBridge = WKJSBridge::bind(webView);
  jsBridge->setUIDelegate(std::weak_ptr<WKJSBridgeUIDelegate>(weak));
  jsBridge->setNavigationDelegate(std::weak_ptr<WKJSBridgeNavigationDelegate>(weak));
  jsBridge->setViewController(std::weak_ptr<ViewController>(weak));
  jsBridge->setPageConfig([weak](bool on) {
    if (auto self = weak.lock()) self->linkNewWindow = on;
  });
  jsBridge->setAdCallBackAction([weak](const std::string& event) {
    if (auto self = weak.lock()) self->emit(event);
  });
  jsBridge->jsbridge();

  view()->addSubview(webView);  // layoutChrome gives it its frame

  for (auto property : {WebViewProperty::title, WebViewProperty::estimatedProgress}) {
    webViewObservers_.push_back(webView->addObserver(property, [weak](WebView&, WebViewProperty changed) {
      if (auto self = weak.lock()) self->observeValue(changed);
    }));
  }
  webView->setShowsHorizontalScrollIndicator(false);
}

void BaseWKWebViewController::startWebview() {
  if (!url) return;
  firstRequest = WebRequest(*url, WebCachePolicy::useProtocolCachePolicy, kFirstRequestTimeout);
  loadRequest(*firstRequest);
}

void BaseWKWebViewController::loadRequest(const WebRequest& request) {
  if (webView) webView->load(request);
  impBeginTime = nowMs();
  loadPageBeginTime = nowMs();
}

void BaseWKWebViewController::observeValue(WebViewProperty property) {
  if (property != WebViewProperty::estimatedProgress || !webView || !progressView) return;
  // The title is observed too, and shown nowhere.
  const float progress = static_cast<float>(webView->estimatedProgress());
  progressView->setProgress(progress);
  if (progress >= 1.0f) progressView->setProgress(0);
}

void BaseWKWebViewController::registerApplicationNotifications() {
  auto weak = weakSelf();
  auto& center = NotificationCenter::defaultCenter();
  notificationObservers_.push_back(
      center.addObserver(kApplicationWillEnterForegroundNotification, [weak](const Notification&) {
        if (auto self = weak.lock()) self->tryFinishCallBack();
      }));
  notificationObservers_.push_back(
      center.addObserver(kApplicationDidBecomeActiveNotification, [weak](const Notification&) {
        if (auto self = weak.lock()) self->becomeActive();
      }));
  notificationObservers_.push_back(
      center.addObserver(kApplicationWillResignActiveNotification, [weak](const Notification&) {
        if (auto self = weak.lock()) self->resignActive();
      }));
}

void BaseWKWebViewController::tryFinishCallBack() {
  if (jsBridge) jsBridge->tryFinishCallBack();
}

void BaseWKWebViewController::becomeActive() {
  impBeginTime = nowMs();
  ++impTimes;
  if (webView) webView->evaluateJavaScript("native.onforeground()");
}

void BaseWKWebViewController::resignActive() {
  impFinishTime = nowMs();
  if (webView) webView->evaluateJavaScript("native.onbackground()");
}

void BaseWKWebViewController::emit(const std::string& event) const {
  if (auto cb = adCallBackAction) cb(event);  // a copy: the receiver may replace it
}

void BaseWKWebViewController::closeContainer() {
  auto keep = sharedAs<BaseWKWebViewController>();
  emit("adWillClose");
  stepBack(keep);
}

void BaseWKWebViewController::onBackClicked() {
  if (webView && webView->canGoBack()) {
    webView->goBack();
    return;
  }
  closeContainer();
}

void BaseWKWebViewController::tapColseBtn() { closeContainer(); }

bool BaseWKWebViewController::webViewHasNoURL() const {
  if (!webView) return true;
  auto u = webView->url();
  return !u || u->empty();
}

// --- Navigation ---

void BaseWKWebViewController::decidePolicyForNavigationAction(WebView&, const NavigationAction& action,
                                                              NavigationActionDecisionHandler decisionHandler) {
  NavigationQuestion question;
  if (!action.request.url.empty()) question.url = action.request.url;
  if (question.url) logLine(*question.url);
  question.linkActivated = action.navigationType == NavigationType::linkActivated;
  question.linkNewWindow = linkNewWindow;

  const NavigationDecision d =
      decideNavigation(question, [](const std::string& s) { return Application::shared().openURLNow(s); });
  auto keep = sharedAs<BaseWKWebViewController>();
  switch (d.effect) {
    case NavigationEffect::browser:
      OpenSFVCManager::shared().openURLWithSafariViewController(*question.url);
      break;
    case NavigationEffect::container:
      ShowQvWebView(*question.url, keep, true, adCallBackAction);
      break;
    case NavigationEffect::store:
      downloadAppId = d.storeId;
      downLoadAppAction();
      break;
    case NavigationEffect::close:
      // The web view hears the answer before the container starts to leave.
      decisionHandler(d.policy);
      closeContainer();
      return;
    case NavigationEffect::none:
    case NavigationEffect::os:
      break;
  }
  decisionHandler(d.policy);
}

void BaseWKWebViewController::decidePolicyForNavigationResponse(WebView&, const NavigationResponse&,
                                                                NavigationResponseDecisionHandler decisionHandler) {
  decisionHandler(NavigationResponsePolicy::allow);
}

void BaseWKWebViewController::didStartProvisionalNavigation(WebView&, NavigationId) { removeNetSettingView(); }

void BaseWKWebViewController::didFinishNavigation(WebView& wv, NavigationId) {
  isSuccess = true;
  loadPageFinishTime = nowMs();
  removeNetSettingView();
  currentUrl = wv.url();
  logLine("webViewDidFinishLoad " + currentUrl.value_or(""));
  if (closeBtn) closeBtn->setHidden(!wv.canGoBack());
}

bool BaseWKWebViewController::handleLoadFailure(const PlatformError& error) {
  if (progressView) progressView->setProgress(0);
  // Only the code counts, whatever the domain: a cancelled load or one the engine
  // cannot show changes nothing else.
  if (error.code == URLError::cancelled || error.code == WebViewError::cannotShowURL) return false;
  isSuccess = false;
  msg = error.localizedDescription;
  loadPageFinishTime = nowMs();
  if (!isNetworkErrorCode(error.code)) return false;

  auto weak = weakSelf();
  auto retry = [weak] {
    auto self = weak.lock();
    if (!self) return;
    if (self->webViewHasNoURL() && self->firstRequest) {
      self->loadRequest(*self->firstRequest);
    } else if (self->webView) {
      self->webView->reload();
    }
  };
  auto back = [weak] {
    if (auto self = weak.lock()) self->emit("adWillClose");
    stepBack(weak);
  };
  addNetSettingView(std::nullopt, nullptr, showErrorBackBtn, retry, back);
  return true;
}

void BaseWKWebViewController::didFailProvisionalNavigation(WebView&, NavigationId, const PlatformError& error) {
  handleLoadFailure(error);
}

void BaseWKWebViewController::didFailNavigation(WebView&, NavigationId, const PlatformError& error) {
  if (handleLoadFailure(error) && webViewHasNoURL() && firstRequest) emit("adDidShowFailed");
}

std::shared_ptr<WebView> BaseWKWebViewController::createWebView(WebView&, const WebViewConfiguration&,
                                                                const NavigationAction& action,
                                                                const WindowFeatures&) {
  // No second web view: a link meant for another window loads in this one.
  if (action.targetFrame && action.targetFrame->isMainFrame) return nullptr;
  if (webView) webView->load(action.request);
  return nullptr;
}

void BaseWKWebViewController::didReceiveScriptMessage(UserContentController&, const ScriptMessage& message) {
  logLine(message.name);
  logLine(message.body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  if (jsBridge) jsBridge->receivePageMessage(message.body);
}

// --- Store sheet ---

void BaseWKWebViewController::downLoadAppAction() {
  if (!downloadAppId) return;
  appStoreVC = std::make_shared<StoreSheetController>();
  appStoreVC->setDelegate(std::weak_ptr<StoreSheetDelegate>(weakSelf()));
  present(appStoreVC, true);
  appStoreVC->loadProduct({{kStoreProductParameterITunesItemIdentifier, *downloadAppId}},
                          [](bool success, const std::optional<std::string>&) {
                            if (success) logLine("弹出成功");
                          });
}

void BaseWKWebViewController::productViewControllerDidFinish(const std::shared_ptr<StoreSheetController>& controller) {
  if (controller) controller->dismiss(true);
}

}  // namespace qvad
