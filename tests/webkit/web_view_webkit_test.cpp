// The web view on the real engine: what the container and the bridge rely on, with pages
// served over loopback. Few, broad cases; the logic above the web view is tested headless.
#include <gio/gio.h>
#include <webkit2/webkit2.h>

#include "engine_fixture.h"
#include "platform/http_session.h"
#include "platform/toolkit/window.h"
#include "platform/url_cache.h"

namespace qvad::test {
namespace {

std::vector<std::string> withPrefix(const std::vector<std::string>& events, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& e : events)
    if (e.rfind(prefix, 0) == 0) out.push_back(e);
  return out;
}

TEST_F(EngineTest, NavigationsAskPoliciesReportTheirStepsAndKeepHistory) {
  LoopbackPages pages;
  pages.add("/one", "<title>One</title><a id=next href='/two'>two</a><a id=away href='tavro://webview/close'>x</a>");
  pages.add("/two", "<title>Two</title>second page");
  auto view = makeView();
  auto delegate = std::make_shared<RecordingDelegate>();
  view->setNavigationDelegate(delegate);
  std::vector<WebViewProperty> changes;
  for (auto p : {WebViewProperty::title, WebViewProperty::estimatedProgress, WebViewProperty::canGoBack})
    view->addObserver(p, [&](WebView&, WebViewProperty changed) { changes.push_back(changed); });

  // A load the library starts: asked (type other, main frame), then start, commit and
  // finish under the id load() returned; the response is asked about too.
  NavigationId first = view->load(pages.url("/one"));
  ASSERT_NE(first, 0u);
  ASSERT_TRUE(runUntil([&] { return delegate->has("finish " + std::to_string(first)); }));
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"start " + std::to_string(first),
                                                        "commit " + std::to_string(first),
                                                        "finish " + std::to_string(first)}));
  ASSERT_EQ(delegate->actions.size(), 1u);
  EXPECT_EQ(delegate->actions[0].request.url, pages.url("/one"));
  EXPECT_EQ(delegate->actions[0].navigationType, NavigationType::other);
  ASSERT_TRUE(delegate->actions[0].targetFrame.has_value());
  EXPECT_TRUE(delegate->actions[0].targetFrame->isMainFrame);
  ASSERT_EQ(delegate->responses.size(), 1u);
  EXPECT_EQ(delegate->responses[0].statusCode, 200);
  EXPECT_EQ(delegate->responses[0].mimeType, "text/html");
  EXPECT_TRUE(delegate->responses[0].isForMainFrame);
  EXPECT_EQ(view->url(), pages.url("/one"));
  // The title may reach the UI process just after the load finished.
  EXPECT_TRUE(runUntil([&] { return view->title() == "One"; }, 5)) << view->title().value_or("(none)");
  EXPECT_DOUBLE_EQ(view->estimatedProgress(), 1.0);
  EXPECT_FALSE(view->canGoBack());
  EXPECT_NE(std::count(changes.begin(), changes.end(), WebViewProperty::title), 0);
  EXPECT_NE(std::count(changes.begin(), changes.end(), WebViewProperty::estimatedProgress), 0);

  // A link the page follows: asked as link-activated; cancelled, nothing starts.
  delegate->events.clear();
  delegate->actionPolicy = [](const NavigationAction& a) {
    return a.request.url.rfind("tavro:", 0) == 0 ? NavigationActionPolicy::cancel : NavigationActionPolicy::allow;
  };
  view->evaluateJavaScript("document.getElementById('away').click()");
  ASSERT_TRUE(runUntil([&] { return delegate->actions.size() == 2; }));
  EXPECT_EQ(delegate->actions[1].request.url, "tavro://webview/close");
  EXPECT_EQ(delegate->actions[1].navigationType, NavigationType::linkActivated);
  // Allowed, the next link loads under an id of its own and makes history.
  view->evaluateJavaScript("document.getElementById('next').click()");
  ASSERT_TRUE(runUntil([&] { return !withPrefix(delegate->events, "finish").empty(); }));
  EXPECT_EQ(view->url(), pages.url("/two"));
  EXPECT_TRUE(view->canGoBack());
  EXPECT_NE(std::count(changes.begin(), changes.end(), WebViewProperty::canGoBack), 0);

  // Back and reload carry their types and the ids the calls returned.
  NavigationId back = view->goBack();
  ASSERT_TRUE(runUntil([&] { return delegate->has("finish " + std::to_string(back)); }));
  EXPECT_EQ(delegate->actions.back().navigationType, NavigationType::backForward);
  EXPECT_EQ(view->url(), pages.url("/one"));
  EXPECT_FALSE(view->canGoBack());
  EXPECT_EQ(view->goBack(), 0u);  // nothing to go back to: no navigation

  NavigationId reload = view->reload();
  ASSERT_TRUE(runUntil([&] { return delegate->has("finish " + std::to_string(reload)); }));
  EXPECT_EQ(delegate->actions.back().navigationType, NavigationType::reload);
}

TEST_F(EngineTest, FailedLoadsReportTheCodesTheContainerCompares) {
  LoopbackPages pages;
  pages.add("/page", "<title>page</title><a id=app href='tavro://webview?x=1'>app</a>");
  auto view = makeView();
  auto delegate = std::make_shared<RecordingDelegate>();
  view->setNavigationDelegate(delegate);

  // Nothing listens on the port any more.
  std::string closedPort;
  {
    LoopbackPages gone;
    closedPort = gone.url("/");
  }
  NavigationId refused = view->load(closedPort);
  ASSERT_TRUE(runUntil([&] { return !delegate->errors.empty(); }));
  EXPECT_EQ(delegate->events.back(), "failProvisional " + std::to_string(refused) + " " +
                                         std::to_string(URLError::cannotConnectToHost));
  EXPECT_FALSE(delegate->has("finish " + std::to_string(refused)));  // a failure is not also a finish

  // A stalled server and a request time-out: failed as timed out, not as cancelled.
  delegate->errors.clear();
  NavigationId stalled = view->load(WebRequest(pages.url("/stall"), WebCachePolicy::useProtocolCachePolicy, 0.3));
  ASSERT_TRUE(runUntil([&] { return !delegate->errors.empty(); }));
  EXPECT_EQ(delegate->events.back(), "failProvisional " + std::to_string(stalled) + " -1001");
  EXPECT_EQ(delegate->errors.back().domain, kURLErrorDomain);

  // Stopped by the library: cancelled.
  delegate->errors.clear();
  NavigationId stopped = view->load(pages.url("/stall"));
  ASSERT_TRUE(runUntil([&] { return delegate->has("start " + std::to_string(stopped)); }));
  view->stopLoading();
  ASSERT_TRUE(runUntil([&] { return !delegate->errors.empty(); }));
  EXPECT_EQ(delegate->events.back(), "failProvisional " + std::to_string(stopped) + " -999");

  // Stopped after the page committed: a failure of the committed navigation. (A server
  // of its own: the stalled answers above still hold threads of the first.)
  LoopbackPages fresh;
  delegate->errors.clear();
  NavigationId halfway = view->load(fresh.url("/halfway"));
  ASSERT_TRUE(runUntil([&] { return delegate->has("commit " + std::to_string(halfway)); }));
  view->stopLoading();
  ASSERT_TRUE(runUntil([&] { return !delegate->errors.empty(); }));
  EXPECT_EQ(delegate->events.back(), "fail " + std::to_string(halfway) + " -999");

  // A scheme the engine cannot load, allowed by the policy: cannot show the URL.
  NavigationId shown = view->load(pages.url("/page"));
  ASSERT_TRUE(runUntil([&] { return delegate->has("finish " + std::to_string(shown)); }));
  delegate->errors.clear();
  view->evaluateJavaScript("document.getElementById('app').click()");
  ASSERT_TRUE(runUntil([&] { return !delegate->errors.empty(); }));
  EXPECT_EQ(delegate->errors.back().code, WebViewError::cannotShowURL);
  EXPECT_EQ(delegate->errors.back().domain, kWebViewErrorDomain);
  EXPECT_EQ(view->url(), pages.url("/page"));  // the shown page stays
}

TEST_F(EngineTest, ScriptPanelsNewWindowsAndScriptResultsGoThroughTheDelegates) {
  WebViewConfiguration configuration;
  configuration.javaScriptCanOpenWindowsAutomatically = true;  // as the ad container has it
  auto view = makeView(configuration);
  auto delegate = std::make_shared<RecordingDelegate>();
  view->setNavigationDelegate(delegate);
  view->setUIDelegate(delegate);
  auto probe = std::make_shared<MessageInbox>();
  // Added after the web view was made: reaches the page with the next load.
  ASSERT_TRUE(view->configuration().userContentController->addScriptMessageHandler(probe, "probe"));
  view->loadHTMLString("<title>panels</title>", "http://127.0.0.1/");
  ASSERT_TRUE(runUntil([&] { return delegate->has("finish 1"); }));

  // Each panel waits for its answer, given on a later turn; the page gets what was answered.
  delegate->confirmAnswer = true;
  delegate->promptAnswer = "";  // "sure" on an emptied field: the empty text, not null
  view->evaluateJavaScript(
      "setTimeout(() => { alert('hello'); const c = confirm('sure?'); const p = prompt('name', 'x');"
      " window.webkit.messageHandlers.probe.postMessage({confirmed: c, prompt: p}); }, 0)");
  ASSERT_TRUE(runUntil([&] { return probe->bodies.size() == 1; }));
  EXPECT_EQ(probe->bodies[0], (nlohmann::json{{"confirmed", true}, {"prompt", ""}}));
  EXPECT_EQ(withPrefix(delegate->events, "alert"), std::vector<std::string>{"alert hello"});
  EXPECT_TRUE(delegate->has("confirm sure?"));
  EXPECT_TRUE(delegate->has("prompt name [x]"));

  // A prompt answered with nothing gives null (a prompt without default text is offered
  // with the empty text).
  delegate->promptAnswer.reset();
  view->evaluateJavaScript("setTimeout(() => window.webkit.messageHandlers.probe.postMessage(prompt('{}')), 0)");
  ASSERT_TRUE(runUntil([&] { return probe->bodies.size() == 2; }));
  EXPECT_TRUE(probe->bodies[1].is_null());
  EXPECT_TRUE(delegate->has("prompt {} []"));

  // Answers given at once, inside the engine's own call, reach the page the same way.
  delegate->answerLater = false;
  delegate->promptAnswer = "now";
  view->evaluateJavaScript("setTimeout(() => { alert('quick'); window.webkit.messageHandlers.probe.postMessage(prompt('q')); }, 0)");
  ASSERT_TRUE(runUntil([&] { return probe->bodies.size() == 3; }));
  EXPECT_EQ(probe->bodies[2], "now");
  EXPECT_TRUE(delegate->has("alert quick"));
  delegate->answerLater = true;

  // window.open(): offered as a new window without a target frame; refused (no web
  // view), so nothing loads anywhere.
  view->evaluateJavaScript("window.open('http://127.0.0.1:9/new')");
  ASSERT_TRUE(runUntil([&] { return !delegate->newWindows.empty(); }));
  EXPECT_EQ(delegate->newWindows[0].request.url, "http://127.0.0.1:9/new");
  EXPECT_FALSE(delegate->newWindows[0].targetFrame.has_value());
  EXPECT_EQ(view->url(), "http://127.0.0.1/");

  // Script results: JSON values, undefined as no value, a throw as an error.
  std::vector<std::pair<std::optional<nlohmann::json>, std::optional<PlatformError>>> results;
  auto collect = [&](std::optional<nlohmann::json> r, std::optional<PlatformError> e) { results.emplace_back(r, e); };
  view->evaluateJavaScript("({a: [1, 'two', null], b: 2.5})", collect);
  view->evaluateJavaScript("undefined", collect);
  view->evaluateJavaScript("throw new Error('boom')", collect);
  view->evaluateJavaScript("document.title", collect);
  ASSERT_TRUE(runUntil([&] { return results.size() == 4; }));
  EXPECT_EQ(results[0].first, (nlohmann::json{{"a", {1, "two", nullptr}}, {"b", 2.5}}));
  EXPECT_FALSE(results[1].first.has_value());
  EXPECT_FALSE(results[1].second.has_value());
  ASSERT_TRUE(results[2].second.has_value());
  EXPECT_EQ(results[2].second->code, WebViewError::javaScriptError);
  EXPECT_EQ(results[3].first, nlohmann::json("panels"));

  // A handler removed from the content controller is gone from the next page.
  view->configuration().userContentController->removeScriptMessageHandler("probe");
  NavigationId next = view->loadHTMLString("<title>next</title>", "http://127.0.0.1/next");
  ASSERT_TRUE(runUntil([&] { return delegate->has("finish " + std::to_string(next)); }));
  std::optional<nlohmann::json> type;
  bool done = false;
  view->evaluateJavaScript("typeof (window.webkit && window.webkit.messageHandlers.probe)",
                           [&](std::optional<nlohmann::json> r, std::optional<PlatformError> e) {
                             done = true;
                             type = r;
                             if (e) ADD_FAILURE() << e->localizedDescription;
                           });
  ASSERT_TRUE(runUntil([&] { return done; }));
  EXPECT_EQ(type, nlohmann::json("undefined"));
}

TEST_F(EngineTest, AnswersGivenAfterTheWebViewIsGoneAreDropped) {
  LoopbackPages pages;
  pages.add("/page", "<title>page</title>");
  auto view = makeView();
  auto delegate = std::make_shared<RecordingDelegate>();
  NavigationActionDecisionHandler held;
  struct Holding : NavigationDelegate {
    NavigationActionDecisionHandler* slot;
    void decidePolicyForNavigationAction(WebView&, const NavigationAction&, NavigationActionDecisionHandler h) override {
      *slot = std::move(h);
    }
  };
  auto holding = std::make_shared<Holding>();
  holding->slot = &held;
  view->setNavigationDelegate(holding);
  view->load(pages.url("/page"));
  ASSERT_TRUE(runUntil([&] { return static_cast<bool>(held); }));
  std::optional<PlatformError> scriptError;
  bool answered = false;
  view->evaluateJavaScript("1 + 1", [&](std::optional<nlohmann::json>, std::optional<PlatformError> error) {
    answered = true;
    scriptError = error;
  });
  gpointer engineView = view->widget();
  g_object_add_weak_pointer(G_OBJECT(engineView), &engineView);
  view.reset();  // destroyed with a policy question and a script pending
  held(NavigationActionPolicy::allow);
  held(NavigationActionPolicy::cancel);  // a second answer is ignored
  // The script's caller hears that it will not run, and the engine's view goes away.
  ASSERT_TRUE(runUntil([&] { return answered && engineView == nullptr; }));
  ASSERT_TRUE(scriptError.has_value());
  EXPECT_EQ(scriptError->code, WebViewError::javaScriptError);
}

TEST_F(EngineTest, NativeWidgetFollowsItsViewsFrameAndScreenPresence) {
  auto window = View::make<Window>(Rect{0, 0, 400, 600});
  window->setHidden(false);  // shown, as a key window is
  auto container = View::make<View>(Rect{10, 20, 300, 400});
  window->addSubview(container);
  auto view = std::static_pointer_cast<GtkWebView>(makeGtkWebView(Rect{5, 30, 200, 100}, {}));
  container->addSubview(view);
  GtkFixed* layer = GTK_FIXED(layer_);

  view->placeNativeWidget(layer);
  EXPECT_EQ(gtk_widget_get_parent(view->widget()), layer_);
  int x = -1, y = -1, w = -1, h = -1;
  gtk_container_child_get(GTK_CONTAINER(layer_), view->widget(), "x", &x, "y", &y, nullptr);
  gtk_widget_get_size_request(view->widget(), &w, &h);
  EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{15, 50, 200, 100}));
  EXPECT_TRUE(gtk_widget_get_visible(view->widget()));

  container->setHidden(true);  // an ancestor hidden: off screen
  view->placeNativeWidget(layer);
  EXPECT_FALSE(gtk_widget_get_visible(view->widget()));
  container->setHidden(false);
  view->removeFromSuperview();  // out of the window (its controller left the screen)
  view->placeNativeWidget(layer);
  EXPECT_FALSE(gtk_widget_get_visible(view->widget()));
}

TEST_F(EngineTest, SharedCacheSettingsReachTheEngine) {
  auto view = makeView();  // ties the settings to the engine
  auto model = [] { return webkit_web_context_get_cache_model(webkit_web_context_get_default()); };
  auto& cache = URLCache::shared();
  cache.setDiskCapacity(0);
  cache.setMemoryCapacity(0);  // as a container does while it shows a page
  EXPECT_EQ(model(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  cache.setMemoryCapacity(20971520);
  cache.setDiskCapacity(20971520);  // after the container
  EXPECT_EQ(model(), WEBKIT_CACHE_MODEL_WEB_BROWSER);
}

GError* error(GQuark domain, int code) { return g_error_new_literal(domain, code, "engine text"); }

TEST(EngineErrors, MapOntoTheURLLoadingAndWebViewCodes) {
  struct Case {
    GQuark domain;
    int code;
    long expected;
    const char* expectedDomain;
  } cases[] = {
      {WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED, -999, kURLErrorDomain},
      {G_IO_ERROR, G_IO_ERROR_CANCELLED, -999, kURLErrorDomain},
      {WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI, 101, kWebViewErrorDomain},
      {WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL, 101, kWebViewErrorDomain},
      {WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE, 102, kWebViewErrorDomain},
      {G_IO_ERROR, G_IO_ERROR_NETWORK_UNREACHABLE, -1009, kURLErrorDomain},
      {G_IO_ERROR, G_IO_ERROR_TIMED_OUT, -1001, kURLErrorDomain},
      {G_RESOLVER_ERROR, G_RESOLVER_ERROR_NOT_FOUND, -1003, kURLErrorDomain},
      {G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED, -1004, kURLErrorDomain},
      {G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED, -1005, kURLErrorDomain},
      {G_TLS_ERROR, G_TLS_ERROR_BAD_CERTIFICATE, -1200, kURLErrorDomain},
      {g_quark_from_static_string("some-other-domain"), 7, -1, kURLErrorDomain},
  };
  for (const Case& c : cases) {
    GError* e = error(c.domain, c.code);
    PlatformError mapped = webKitLoadError(e);
    EXPECT_EQ(mapped.code, c.expected) << g_quark_to_string(c.domain) << " " << c.code;
    EXPECT_EQ(mapped.domain, c.expectedDomain) << g_quark_to_string(c.domain) << " " << c.code;
    EXPECT_EQ(mapped.localizedDescription, "engine text");
    g_error_free(e);
  }
  // Our own time-out stops the load, which the engine reports as cancelled.
  GError* cancelled = error(WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED);
  EXPECT_EQ(webKitLoadError(cancelled, /*timedOut=*/true).code, URLError::timedOut);
  EXPECT_EQ(webKitLoadError(cancelled, false, /*tlsFailure=*/true).code, URLError::serverCertificateUntrusted);
  g_error_free(cancelled);
  EXPECT_EQ(webKitLoadError(nullptr).code, URLError::unknown);
}

}  // namespace
}  // namespace qvad::test
