// The web ad container: a full-screen controller that shows one ad page in an
// embedded web view with a JavaScript bridge, a title bar with back and close buttons
// and a progress bar. Hosts never make one; the two entry points present it. Main
// thread only.
//
// Ownership: the presenting controller keeps the container from its presentation to
// its dismissal; the container owns its web view and bridge; the bridge, the script
// message proxy, the notification observers and every button or error-view action
// hold the container weakly. Its destructor is its teardown.
//
// Ad events ("adWillClose", "adDidClose", "adDidShowFailed" of its own, and whatever
// the page reports through the bridge) go to adCallBackAction synchronously.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/notification_center.h"
#include "platform/toolkit/button.h"
#include "platform/toolkit/progress_view.h"
#include "platform/toolkit/view_controller.h"
#include "platform/web_view.h"
#include "ui/net_setting_view.h"
#include "web/navigation_policy.h"
#include "web/store_sheet_controller.h"
#include "web/web_container_options.h"
#include "web/wk_js_bridge.h"

namespace qvad {

/// Receives the ad events of a container, one text each.
using AdCallBack = std::function<void(const std::string& event)>;

/// What the container sets its title bar height to under the status bar.
inline constexpr double kContainerBarHeight = 44;
/// The first request's time-out.
inline constexpr double kFirstRequestTimeout = 20;
/// The shared URL cache's capacities once a container has gone.
inline constexpr std::uint64_t kURLCacheCapacityAfterContainer = 20u * 1024 * 1024;
inline constexpr const char* kWebKitCacheModelPreferenceKey = "WebKitCacheModelPreferenceKey";

class BaseWKWebViewController : public ViewController,
                                public NetSettingProtocol,
                                public WKJSBridgeNavigationDelegate,
                                public WKJSBridgeUIDelegate,
                                public ScriptMessageHandler,
                                public StoreSheetDelegate {
 public:
  BaseWKWebViewController();
  ~BaseWKWebViewController() override;

  /// Presents a container for `url` over `rootVC`: with its page options when `url` is
  /// a "tavro://webview?" URL, else showing `url` itself with the default options.
  static void ShowWebView(const std::string& url, const std::shared_ptr<ViewController>& rootVC, bool animated,
                          AdCallBack adCallBack);
  /// Presents a container only for a "tavro://webview?" URL; false (nothing made) for
  /// any other URL. Used by ShowWebView and by the navigation policy.
  static bool ShowQvWebView(const std::string& url, const std::shared_ptr<ViewController>& rootVC, bool animated,
                            AdCallBack adCallBack);

  // Status bar answers, read whenever the platform asks.
  StatusBarStyle preferredStatusBarStyle() const override;
  bool prefersStatusBarHidden() const override;

  // Chrome (absent until the view loads).
  std::shared_ptr<View> barDividerView;
  std::shared_ptr<Button> closeBtn;
  std::shared_ptr<View> navigationBarView;
  std::shared_ptr<View> buttonStripView;  // holds the back and close buttons
  std::shared_ptr<Button> backBtn;
  std::shared_ptr<ProgressView> progressView;
  std::shared_ptr<WebView> webView;
  std::shared_ptr<WebViewConfiguration> webViewConfiguration;
  std::shared_ptr<UserContentController> userContentController;
  std::shared_ptr<WKJSBridge> jsBridge;

  // Load and timing record (milliseconds since 1970); reported nowhere.
  double loadPageBeginTime = 0;
  double loadPageFinishTime = 0;
  double impBeginTime = 0;
  double impFinishTime = 0;
  std::int64_t impTimes = 0;
  bool isSuccess = false;
  std::string msg;
  double loadViewBeignTime = 0;
  std::optional<WebRequest> firstRequest;
  std::optional<std::string> titleText;

  // Page and options.
  std::optional<std::string> url;
  bool showErrorBackBtn = true;
  bool showBackBtn = true;
  bool showStatusBar = true;
  bool pageStatusBarLight = false;
  bool fullscreen = false;
  bool showTitleBar = true;
  bool showProgressBar = true;
  bool linkNewWindow = false;
  std::optional<double> downloadAppId;
  std::shared_ptr<StoreSheetController> appStoreVC;
  AdCallBack adCallBackAction;
  std::optional<std::string> currentUrl;
  std::string fromURL;
  std::int64_t businessUid = -1;
  bool firstAppear = true;

  /// Applies the options a container URL carried.
  void applyOptions(const WebContainerOptions& options);

  // Actions (public so that tools and tests can drive them as a tap would).
  void onBackClicked();
  /// Hands an ad event ("adWillClose", ...) to adCallBackAction, when there is one.
  void emit(const std::string& event) const;
  void tapColseBtn();
  void downLoadAppAction();
  void tryFinishCallBack();
  void becomeActive();
  void resignActive();

  // WKJSBridgeNavigationDelegate.
  void decidePolicyForNavigationAction(WebView& webView, const NavigationAction& action,
                                       NavigationActionDecisionHandler decisionHandler) override;
  void decidePolicyForNavigationResponse(WebView& webView, const NavigationResponse& response,
                                         NavigationResponseDecisionHandler decisionHandler) override;
  void didStartProvisionalNavigation(WebView& webView, NavigationId navigation) override;
  void didFailProvisionalNavigation(WebView& webView, NavigationId navigation, const PlatformError& error) override;
  void didFinishNavigation(WebView& webView, NavigationId navigation) override;
  void didFailNavigation(WebView& webView, NavigationId navigation, const PlatformError& error) override;

  // WKJSBridgeUIDelegate: a new window loads in place; the panels keep the bridge's defaults.
  std::shared_ptr<WebView> createWebView(WebView& webView, const WebViewConfiguration& configuration,
                                         const NavigationAction& action, const WindowFeatures& features) override;

  // ScriptMessageHandler ("tavro", through a weak proxy).
  void didReceiveScriptMessage(UserContentController& controller, const ScriptMessage& message) override;

  // StoreSheetDelegate.
  void productViewControllerDidFinish(const std::shared_ptr<StoreSheetController>& controller) override;

  const char* className() const override { return "BaseWKWebViewController"; }

  /// Lays the chrome, the page and an error view that is up out again for the root
  /// view's new size, with the options read when the view loaded.
  void viewDidLayoutSubviews() override;

 protected:
  void viewDidLoad() override;
  /// The module-qualified class name the teardown line prints; subclasses set theirs.
  const char* runtimeClassName_ = "qvad.BaseWKWebViewController";

 private:
  void setupUI();
  /// Frames of the chrome and the page for the root view's bounds.
  void layoutChrome();
  void setupWebView();
  void startWebview();
  void loadRequest(const WebRequest& request);
  void observeValue(WebViewProperty property);
  /// Failure steps shared by the two failure callbacks; true when the error view went up.
  bool handleLoadFailure(const PlatformError& error);
  void registerApplicationNotifications();
  /// "adWillClose", the step back, then "adDidClose" once a dismissal finished.
  void closeContainer();
  bool webViewHasNoURL() const;
  std::weak_ptr<BaseWKWebViewController> weakSelf();

  std::vector<WebViewObserverId> webViewObservers_;
  std::vector<NotificationCenter::ObserverId> notificationObservers_;
};

}  // namespace qvad
