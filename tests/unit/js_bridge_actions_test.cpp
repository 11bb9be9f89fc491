// The bridge's actions on the toolkit (toasts, alerts, page close, page configuration,
// ad events, the foreground answer), its delegate forwarding and script panels, and
// its release.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/scripted_web_view.h"
#include "platform/http_session.h"
#include "platform/toolkit/alert_controller.h"
#include "support/log_capture.h"
#include "support/toolkit_fixture.h"
#include "ui/d3_notice_manager.h"
#include "ui/d3_notice_view.h"
#include "web/qv_weak_script_message_delegate.h"
#include "web/wk_js_bridge.h"

namespace qvad {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

std::string envelope(const std::string& callback, int ret, const std::string& paramsBase64) {
  return callback + R"(('{"msg":"","params":")" + paramsBase64 + R"(","ret":)" + std::to_string(ret) + "}')";
}
const char* const kEmpty = "e30=";                       // {}
const char* const kResult1 = "eyJyZXN1bHQiOiIxIn0=";     // {"result":"1"}
const char* const kClicked1 = "eyJjbGlja2VkIjotMX0=";    // {"clicked":-1}
const char* const kClicked2 = "eyJjbGlja2VkIjotMn0=";    // {"clicked":-2}
const char* const kClicked3 = "eyJjbGlja2VkIjotM30=";    // {"clicked":-3}
const char* const kIsOpenTrue = "eyJpc19vcGVuIjp0cnVlfQ==";
const char* const kIsOpenFalse = "eyJpc19vcGVuIjpmYWxzZX0=";

// The web container's part, as far as the bridge sees it: page messages in through a
// weak proxy, the delegates, and the two sinks.
class PageReceiver : public ScriptMessageHandler {
 public:
  explicit PageReceiver(std::weak_ptr<WKJSBridge> bridge) : bridge_(std::move(bridge)) {}
  void didReceiveScriptMessage(UserContentController&, const ScriptMessage& message) override {
    if (auto b = bridge_.lock()) b->receivePageMessage(message.body);
  }

 private:
  std::weak_ptr<WKJSBridge> bridge_;
};

// The web container's delegate part. Navigation decisions and new windows reach the
// container through the bridge in the container's own tests (web_container_navigation_test);
// this one keeps what only the bridge decides.
class ContainerDelegate : public WKJSBridgeNavigationDelegate, public WKJSBridgeUIDelegate {
 public:
  std::shared_ptr<WebView> createWebView(WebView&, const WebViewConfiguration&, const NavigationAction&,
                                         const WindowFeatures&) override {
    return nullptr;
  }
};

class BridgeActionsTest : public testing::ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    D3NoticeManager::sharedInstance().clearNotice();
    Application::shared().setNotificationAuthorization(NotificationAuthorization::notDetermined);
    root = std::make_shared<ViewController>();
    window = makeKeyWindow(root);
    container = std::make_shared<ViewController>();
    webView = std::make_shared<ScriptedWebView>(Rect{0, 64, 375, 748}, WebViewConfiguration{});
    container->view()->addSubview(webView);
    bridge = WKJSBridge::bind(webView);
    receiver = std::make_shared<PageReceiver>(bridge);
    webView->configuration().userContentController->addScriptMessageHandler(
        std::make_shared<QvWeakScriptMessageDelegate>(receiver), "tavro");
    delegate = std::make_shared<ContainerDelegate>();
    bridge->setUIDelegate(delegate);
    bridge->setNavigationDelegate(delegate);
    bridge->setViewController(container);
    bridge->setPageConfig([this](bool b) { events.push_back(b ? "config true" : "config false"); });
    bridge->setAdCallBackAction([this](const std::string& e) { events.push_back(e); });
    bridge->jsbridge();
    root->present(container, false);
    runFor(1);
  }

  // The page calls the built-in handler; the action runs on a later turn of the loop,
  // and what it presents has finished appearing half a second later.
  void call(const std::string& method, json params = json::object(), std::optional<std::string> callback = "cb") {
    json m = {{"method", method}, {"params", std::move(params)}};
    if (callback) m["callback"] = *callback;
    ASSERT_TRUE(webView->postMessage("tavro", json{{"action", "jsbridge"}, {"method", m}}.dump()));
    runFor(0.5);
  }
  Strings scripts() const { return webView->evaluatedScriptTexts(); }
  // Taps button `i` of the alert on screen and lets its dismissal finish.
  void press(std::size_t i = 0) {
    shownAlert()->pressAction(i);
    runFor(1);
  }
  std::shared_ptr<AlertController> shownAlert() const {
    return std::dynamic_pointer_cast<AlertController>(container->presentedViewController());
  }
  std::shared_ptr<D3NoticeView> visibleToast() const {
    for (const auto& v : D3NoticeManager::sharedInstance().notices()) {
      if (v->tag() == 891 && !v->isHidden() && v->window()) return std::dynamic_pointer_cast<D3NoticeView>(v);
    }
    return nullptr;
  }

  std::shared_ptr<ViewController> root;
  std::shared_ptr<Window> window;
  std::shared_ptr<ViewController> container;
  std::shared_ptr<ScriptedWebView> webView;
  std::shared_ptr<WKJSBridge> bridge;
  std::shared_ptr<PageReceiver> receiver;
  std::shared_ptr<ContainerDelegate> delegate;
  Strings events;
};

TEST_F(BridgeActionsTest, ToastIsShownAndAnsweredOnlyWhenItHasText) {
  call("toast", {{"text", "Saved"}});
  auto toast = visibleToast();
  ASSERT_TRUE(toast);
  EXPECT_EQ(toast->label->text(), "Saved");
  EXPECT_EQ(scripts(), Strings{envelope("cb", 0, kResult1)});
  runFor(2.1);
  EXPECT_FALSE(visibleToast());  // hidden after 2 s

  webView->clearRecords();
  call("toast");
  call("toast", {{"text", 5}});
  EXPECT_TRUE(scripts().empty());
  EXPECT_FALSE(visibleToast());
}

// Buttons answer by their position (-1, -2, -3); text buttons only; none at all gets "sure".
TEST_F(BridgeActionsTest, AlertButtonsAnswerByTheirPosition) {
  struct Row {
    json params;
    std::string title, message;
    Strings buttons;
    std::size_t press;
    const char* reply;
  } rows[] = {
      {{{"title", "T"}, {"message", "M"}, {"button2", "Two"}}, "T", "M", {"Two"}, 0, kClicked2},
      {{{"button1", "One"}, {"button2", 2}, {"button3", "Three"}}, "", "", {"One", "Three"}, 1, kClicked3},
      {{{"message", "stuck?"}}, "", "stuck?", {"sure"}, 0, kClicked1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.params.dump());
    webView->clearRecords();
    call("alert", row.params);
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alertTitle(), row.title);  // absent title and message stay empty
    EXPECT_EQ(alert->message(), row.message);
    Strings buttons;
    for (const auto& a : alert->actions()) buttons.push_back(a.title);
    EXPECT_EQ(buttons, row.buttons);
    EXPECT_TRUE(scripts().empty());  // nothing before the tap
    press(row.press);
    EXPECT_FALSE(container->presentedViewController());
    EXPECT_EQ(scripts(), Strings{envelope("cb", 0, row.reply)});
  }
}

TEST_F(BridgeActionsTest, LaterRepliesGoToTheMessageCurrentAtReplyTime) {
  call("alert", {{"button1", "OK"}}, "alertCb");
  call("toast", {{"text", "t"}}, "toastCb");
  runFor(2);  // the toast sits over the alert's buttons until it hides
  press();
  EXPECT_EQ(scripts(), (Strings{envelope("toastCb", 0, kResult1), envelope("toastCb", 0, kClicked1)}));

  // A prompt that decodes as a message changes the target without being routed.
  webView->clearRecords();
  bridge->setOpenNotifyCallBackStr("pending");
  webView->runTextInputPanel(R"({"method":{"method":"toast","params":{"text":"x"},"callback":"promptCb"}})");
  EXPECT_EQ(bridge->jsModel()->replyTarget(), "promptCb");
  bridge->tryFinishCallBack();
  EXPECT_EQ(scripts(), Strings{envelope("promptCb", 0, kIsOpenTrue)});
  EXPECT_FALSE(visibleToast());
}

TEST_F(BridgeActionsTest, WithoutAKeyWindowToastsAreAnsweredAndAlertsDropped) {
  Application::shared().setKeyWindow(nullptr);
  call("toast", {{"text", "t"}});
  EXPECT_FALSE(visibleToast());
  EXPECT_EQ(scripts(), Strings{envelope("cb", 0, kResult1)});
  call("alert", {{"button1", "OK"}});
  EXPECT_FALSE(container->presentedViewController());
  call("pageClose");
  EXPECT_EQ(scripts().size(), 1u);
  EXPECT_TRUE(events.empty());
}

TEST_F(BridgeActionsTest, PageCloseOnlyWhenTheContainerIsOnTop) {
  // Covered by another screen.
  auto cover = std::make_shared<ViewController>();
  container->present(cover, false);
  runFor(1);
  call("pageClose");
  EXPECT_TRUE(events.empty());
  cover->dismiss(false);
  runFor(1);

  // Covered by an alert the page opened.
  call("alert", {{"button1", "OK"}});
  call("pageClose");
  runFor(1);
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(shownAlert());
  press();

  webView->clearRecords();
  call("pageClose");
  EXPECT_EQ(events, (Strings{"adWillClose", "adDidClose"}));
  EXPECT_FALSE(root->presentedViewController());
  EXPECT_TRUE(scripts().empty());
}

TEST_F(BridgeActionsTest, PageCloseDuringTheOpeningTransitionIsKeptUntilItEnds) {
  container->dismiss(false);
  runFor(1);
  root->present(container, true);
  ASSERT_TRUE(container->transitionInProgress());
  ASSERT_TRUE(webView->postMessage("tavro", json{{"action", "jsbridge"}, {"method", {{"method", "pageClose"}}}}.dump()));
  runFor(2);
  EXPECT_EQ(events, (Strings{"adWillClose", "adDidClose"}));
  EXPECT_FALSE(root->presentedViewController());
}

TEST_F(BridgeActionsTest, PageConfigSendsTheBooleanOrFalseAndAlwaysAnswers) {
  call("pageConfig", {{"link_new_window", true}});
  call("pageConfig", {{"link_new_window", "true"}});
  call("pageConfig", {{"link_new_window", 1}});
  call("pageConfig");
  EXPECT_EQ(events, (Strings{"config true", "config false", "config false", "config false"}));
  EXPECT_EQ(scripts(), Strings(4, envelope("cb", 0, kEmpty)));

  webView->clearRecords();
  bridge->setPageConfig({});
  call("pageConfig", {{"link_new_window", true}});
  EXPECT_EQ(scripts(), Strings{envelope("cb", 0, kEmpty)});
}

TEST_F(BridgeActionsTest, AdEventsPassUnchangedWithoutAReply) {
  call("adCallBack", {{"action", "rewardedVideoAdComplete"}});
  call("adCallBack", {{"action", 3}});
  call("adCallBack");
  EXPECT_EQ(events, (Strings{"rewardedVideoAdComplete", "", ""}));
  EXPECT_TRUE(scripts().empty());
}

TEST_F(BridgeActionsTest, AFloodOfMessagesIsBoundedWithOneLineAndThePageIsHeardAgainOnceItDrains) {
  testing::LogCapture console;
  const std::string message =
      json{{"action", "jsbridge"}, {"method", {{"method", "adCallBack"}, {"params", {{"action", "e"}}}}}}.dump();
  // Posted in one turn, as a page's loop does: nothing runs in between.
  for (std::size_t i = 0; i < 4 * kMaxPendingPageMessages; ++i) ASSERT_TRUE(webView->postMessage("tavro", message));
  runFor(0.5);
  EXPECT_EQ(events.size(), kMaxPendingPageMessages);
  EXPECT_EQ(console.count("later ones are dropped"), 1);
  // Once the queue has drained, the page is heard again.
  call("adCallBack", {{"action", "after"}});
  EXPECT_EQ(events.back(), "after");
}

TEST_F(BridgeActionsTest, UnknownNamesAnswerTenAndRecognisedOnesStaySilent) {
  call("Toast", {{"text", "x"}});
  call("", json::object(), "empty");
  call("userInfo");
  call("device");
  call("nothing", json::object(), std::nullopt);  // no callback: no reply
  EXPECT_EQ(scripts(), (Strings{envelope("cb", 10, kEmpty), envelope("empty", 10, kEmpty)}));
  EXPECT_FALSE(visibleToast());
}

TEST_F(BridgeActionsTest, ForegroundAnswerComesOncePerMarker) {
  call("toast", {{"text", "t"}}, "fg");
  webView->clearRecords();
  bridge->tryFinishCallBack();
  EXPECT_TRUE(scripts().empty());  // no marker

  Application::shared().setNotificationAuthorization(NotificationAuthorization::denied);
  bridge->setOpenNotifyCallBackStr("1");
  bridge->tryFinishCallBack();
  bridge->tryFinishCallBack();
  EXPECT_EQ(scripts(), Strings{envelope("fg", 0, kIsOpenFalse)});
  EXPECT_EQ(bridge->openNotifyCallBackStr(), "");
}

TEST_F(BridgeActionsTest, WithoutDelegatesPoliciesCancelAndPanelsComplete) {
  // A response the delegate leaves unanswered is allowed; with no delegate at all, cancelled.
  EXPECT_EQ(webView->decidePolicy(NavigationResponse{})->value(), NavigationResponsePolicy::allow);
  delegate.reset();
  EXPECT_EQ(webView->decidePolicy(ScriptedWebView::linkAction("https://a.test/"))->values,
            std::vector<NavigationActionPolicy>{NavigationActionPolicy::cancel});
  EXPECT_EQ(webView->decidePolicy(NavigationResponse{})->values,
            std::vector<NavigationResponsePolicy>{NavigationResponsePolicy::cancel});
  EXPECT_EQ(webView->requestNewWindow(ScriptedWebView::newWindowAction("https://c.test/")), nullptr);
  EXPECT_EQ(webView->runAlertPanel("hello")->count, 1u);
  EXPECT_EQ(webView->runTextInputPanel("name?", "anon")->values, (std::vector<std::optional<std::string>>{"anon"}));
  EXPECT_EQ(webView->runConfirmPanel("sure?")->values, std::vector<bool>{false});  // left to the web view
  webView->deliverDidFinish(1);  // dropped, no crash
  EXPECT_FALSE(container->presentedViewController());
}

TEST_F(BridgeActionsTest, DefaultPanelsAreNativeAlertsWithSure) {
  EXPECT_EQ(webView->runAlertPanel("")->count, 1u);  // empty message: at once
  EXPECT_FALSE(container->presentedViewController());

  auto alertAnswers = webView->runAlertPanel("Hi");
  runFor(1);
  auto alert = shownAlert();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->message(), "Hi");
  EXPECT_EQ(alert->actions()[0].title, "sure");
  EXPECT_FALSE(alertAnswers->answered());
  press();
  EXPECT_EQ(alertAnswers->count, 1u);

  auto promptAnswers = webView->runTextInputPanel("Name?", "anon");
  runFor(1);
  alert = shownAlert();
  ASSERT_TRUE(alert);
  ASSERT_EQ(alert->textFields().size(), 1u);
  EXPECT_EQ(alert->textFields()[0]->text(), "anon");
  alert->textFields()[0]->setText("");
  press();
  EXPECT_EQ(promptAnswers->values, (std::vector<std::optional<std::string>>{std::string()}));

  // While one panel is up no other can be shown: those are answered at once, the first waits.
  auto first = webView->runAlertPanel("First");
  runFor(1);
  ASSERT_TRUE(shownAlert());
  EXPECT_EQ(webView->runTextInputPanel("Name?", "anon")->values, (std::vector<std::optional<std::string>>{"anon"}));
  EXPECT_EQ(webView->runAlertPanel("Second")->count, 1u);
  EXPECT_FALSE(first->answered());
  press();
  EXPECT_EQ(first->count, 1u);

  // Nothing to present on: answered as if "sure" had been tapped.
  Application::shared().setKeyWindow(nullptr);
  EXPECT_EQ(webView->runAlertPanel("Hi")->count, 1u);
  EXPECT_EQ(webView->runTextInputPanel("Name?")->values, (std::vector<std::optional<std::string>>{std::nullopt}));
}

TEST_F(BridgeActionsTest, ReleasedBridgeRemovesItsChannelAndIsNotKeptAlive) {
  auto controller = webView->configuration().userContentController;
  call("alert", {{"button1", "OK"}});  // a pending alert holds the bridge weakly
  std::weak_ptr<WKJSBridge> weak = bridge;
  bridge.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(controller->scriptMessageHandler("tavro"), nullptr);
  press();
  EXPECT_TRUE(scripts().empty());
  EXPECT_FALSE(webView->postMessage("tavro", "{}"));

  // The proxy drops messages once its receiver is gone.
  auto other = WKJSBridge::bind(webView);
  auto proxy = std::make_shared<QvWeakScriptMessageDelegate>(std::make_shared<PageReceiver>(other));
  EXPECT_EQ(proxy->scriptDelegate(), nullptr);
}

TEST_F(BridgeActionsTest, ACallbackThatIsNotAScriptNameGetsNoReplyAndOneLine) {
  testing::LogCapture log;
  const Strings bad = {"alert(1)//", "window.cb;x"};
  for (const auto& name : bad) {
    call("toast", {{"text", "x"}}, name);
    call("Toast", json::object(), name);  // unknown names answer too, when they can
  }
  // The prompt path, and a later answer to the message it made current.
  webView->runTextInputPanel(R"({"method":{"method":"toast","callback":"x=1;cb"}})");
  runFor(1);
  if (auto panel = shownAlert()) press();
  bridge->setOpenNotifyCallBackStr("1");
  bridge->tryFinishCallBack();
  EXPECT_EQ(scripts(), Strings{});
  EXPECT_EQ(log.count("callback is not a script function name"), static_cast<long>(2 * bad.size() + 1));

  call("toast", {{"text", "x"}}, "window.$pages._cb1");
  EXPECT_EQ(scripts(), Strings{envelope("window.$pages._cb1", 0, kResult1)});
}

TEST_F(BridgeActionsTest, ARememberedReplyTargetIsForgottenWhenThePageChangesOrigin) {
  auto commit = [&](const std::string& url) {
    webView->deliverDidCommit(webView->nextNavigationId(), url);
    runFor(0.1);
  };
  auto foregroundAnswers = [&] {
    webView->clearRecords();
    bridge->setOpenNotifyCallBackStr("1");
    bridge->tryFinishCallBack();
    return scripts().size();
  };
  commit("https://ads.test/page");
  call("userInfo");  // current now, with callback cb
  commit("https://ADS.test:443/other?x#y");
  EXPECT_EQ(foregroundAnswers(), 1u) << "same origin keeps the target";

  for (const char* other : {"https://elsewhere.test/", "http://ads.test/", "https://ads.test:8443/", "about:blank"}) {
    SCOPED_TRACE(other);
    commit("https://ads.test/page");
    call("userInfo");
    commit(other);
    EXPECT_EQ(foregroundAnswers(), 0u);
  }

  // An alert of the first page tapped after the next page committed answers nobody, and
  // a message's own reply function is dead there too.
  commit("https://ads.test/page");
  auto message = JSMessageModel::decode(json{{"method", {{"method", "userInfo"}, {"callback", "cb"}}}});
  bridge->registerMessage(message);
  call("alert", {{"button1", "ok"}});
  commit("https://elsewhere.test/");
  webView->clearRecords();
  press();
  message->callback()(json{{"late", true}});
  runFor(0.1);
  EXPECT_EQ(scripts(), Strings{});
}

}  // namespace
}  // namespace qvad
