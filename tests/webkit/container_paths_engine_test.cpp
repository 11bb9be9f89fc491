// What pages do in the container beyond the ad's own course, on the real engine: page
// options, links into the store sheet and the in-app browser, new windows, and a page
// that cannot load while offline and loads on retry.
#include <gtk/gtk.h>

#include <string>

#include "container_fixture.h"
#include "platform/toolkit/button.h"
#include "support/private_network.h"
#include "ui/in_app_browser_controller.h"
#include "ui/net_setting_view.h"
#include "web/base_wk_web_view_controller.h"
#include "web/store_sheet_controller.h"

namespace qvad::test {
namespace {

// Posts to the bridge's built-in handler.
const char* kPageScript = R"js(
function post(method, params, callback) {
  window.webkit.messageHandlers.tavro.postMessage({handle: "tavro", action: "jsbridge",
    method: {method: method, params: params, callback: callback}});
}
)js";

std::string htmlPage(const std::string& title, const std::string& script, const std::string& body) {
  return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title + "</title><script>" + kPageScript +
         script + "</script></head><body>" + body + "</body></html>";
}

class ContainerPathsTest : public AdContainerEngineTest {
 protected:
  std::shared_ptr<BaseWKWebViewController> show(const std::string& url) {
    BaseWKWebViewController::ShowWebView(url, root, false, {});
    return std::dynamic_pointer_cast<BaseWKWebViewController>(root->presentedViewController());
  }
  static bool loaded(const BaseWKWebViewController& c, const std::string& url) {
    return c.webView->url() == url && !c.webView->isLoading() && !c.transitionInProgress();
  }
};

// The engine's widget placed at the page's frame under the chrome that page options leave,
// and window.open() loading in the container's own web view. (The options themselves, and
// prompts and alerts through the bridge, are headless cases over the engine's own tests.)
TEST_F(ContainerPathsTest, PageOptionsWidgetPlacementAndNewWindows) {
  LoopbackPages pages;
  pages.add("/options", "<!doctype html><title>options</title>options");
  pages.add("/second", "<!doctype html><title>second</title>second");

  auto container = show("tavro://webview?url=" + percentEncoded(pages.url("/options")) +
                        "&page_titlebar=0&page_progressbar=0&page_statebar=0");
  ASSERT_NE(container, nullptr);
  ASSERT_NE(std::dynamic_pointer_cast<GtkWebView>(container->webView), nullptr);

  // Once the container is in place, the engine's widget sits where the page's view is.
  ASSERT_TRUE(runUntil([&] { return !container->transitionInProgress(); }));
  GtkWidget* widget = std::static_pointer_cast<GtkWebView>(container->webView)->widget();
  const Rect frame = container->webView->frame();
  const Point origin = container->webView->convertToWindow(Point{0, 0});
  int x = -1, y = -1;
  const bool inPlace = runUntil([&] {
    gtk_widget_translate_coordinates(widget, desktop->widget(), 0, 0, &x, &y);
    return x == origin.x && y == origin.y && gtk_widget_get_allocated_width(widget) == frame.width() &&
           gtk_widget_get_allocated_height(widget) == frame.height();
  }, 5);
  EXPECT_TRUE(inPlace) << x << "," << y << " " << gtk_widget_get_allocated_width(widget) << "x"
                       << gtk_widget_get_allocated_height(widget) << " for " << origin.x << "," << origin.y << " "
                       << frame.width() << "x" << frame.height();

  // A new window loads in the container's own web view.
  ASSERT_TRUE(runUntil([&] { return loaded(*container, pages.url("/options")); }));
  auto view = container->webView;
  view->evaluateJavaScript("window.open('" + pages.url("/second") + "')");
  ASSERT_TRUE(runUntil([&] { return loaded(*container, pages.url("/second")); }));
  EXPECT_EQ(container->webView, view);
  EXPECT_EQ(findWebView(window), view);
}

// A store link a person clicks shows the store sheet; once the page asked for links in a new window, a
// link opens the in-app browser, on the engine, and its button closes it.
TEST_F(ContainerPathsTest, LinksOpenTheStoreSheetAndTheInAppBrowser) {
  LoopbackPages pages;
  pages.add("/links", htmlPage("links", R"js(
window.configured = () => document.getElementById("landing").click();
)js", R"(<a id="store" style="display:block;height:100px" href="itms-apps://apps.apple.com/app/qvad/id375380948">store</a>
<a id="landing" href="/landing">landing</a>)"));
  pages.add("/landing", "<!doctype html><title>landing</title>landing");

  auto container = show(pages.url("/links"));
  ASSERT_NE(container, nullptr);
  ASSERT_TRUE(runUntil([&] { return loaded(*container, pages.url("/links")); }));

  // A person clicks the link at the top of the page.
  const Point pageOrigin = container->webView->convertToWindow(Point{0, 0});
  personClick(*desktop, static_cast<int>(pageOrigin.x) + 40, static_cast<int>(pageOrigin.y) + 50);
  ASSERT_TRUE(runUntil([&] {
    auto sheet = std::dynamic_pointer_cast<StoreSheetController>(container->presentedViewController());
    return sheet && sheet->productIdentifier() && !container->transitionInProgress();
  }));
  auto sheet = std::dynamic_pointer_cast<StoreSheetController>(container->presentedViewController());
  EXPECT_EQ(*sheet->productIdentifier(), 375380948);
  EXPECT_EQ(container->webView->url(), pages.url("/links"));  // the page stays
  clickOn(*desktop, *sheet->doneButton());
  ASSERT_TRUE(runUntil([&] { return container->presentedViewController() == nullptr && !container->transitionInProgress(); }));

  container->webView->evaluateJavaScript(R"(post("pageConfig", {link_new_window: true}, "window.configured"))");
  ASSERT_TRUE(runUntil([&] { return std::dynamic_pointer_cast<InAppBrowserController>(container->presentedViewController()) != nullptr; }));
  auto browser = std::dynamic_pointer_cast<InAppBrowserController>(container->presentedViewController());
  EXPECT_EQ(browser->url(), pages.url("/landing"));
  ASSERT_NE(std::dynamic_pointer_cast<GtkWebView>(browser->webView()), nullptr);
  // The engine may report the requested address before the load has begun: wait for the page's title.
  EXPECT_TRUE(runUntil([&] {
    return browser->webView()->url() == pages.url("/landing") && browser->webView()->title() == "landing" &&
           !container->transitionInProgress();
  })) << browser->webView()->title().value_or("(no title)");
  EXPECT_EQ(container->webView->url(), pages.url("/links"));
  clickOn(*desktop, *browser->dismissButton());
  ASSERT_TRUE(runUntil([&] { return container->presentedViewController() == nullptr; }));
}

// Runs only in a network of its own (see the next test): a page on an address that has
// no route fails as offline (-1009) and shows the error view; once the address is up,
// a click on the error view's reload button loads the page.
TEST_F(ContainerPathsTest, OfflinePageShowsTheErrorViewAndRetryLoadsItOnceOnline) {
  if (!qvad::testing::insidePrivateNetwork()) GTEST_SKIP() << "runs only inside its own network namespace";
  ASSERT_TRUE(qvad::testing::onlyLoopbackInterface()) << "not an isolated network";
  const std::string address = "192.0.2.1";  // a documentation address: no route here
  const std::string url = "http://" + address + ":8080/ad";

  {  // what the engine reports for it
    auto raw = makeGtkWebView(Rect{0, 0, 100, 100}, {});
    auto recorder = std::make_shared<RecordingDelegate>();
    raw->setNavigationDelegate(recorder);
    raw->load(WebRequest{url});
    ASSERT_TRUE(runUntil([&] { return !recorder->errors.empty(); }));
    EXPECT_EQ(recorder->errors.front().code, URLError::notConnectedToInternet);
  }

  auto container = show(url);
  ASSERT_NE(container, nullptr);
  std::shared_ptr<NetSettingView> errorView;
  ASSERT_TRUE(runUntil([&] {
    for (const auto& v : container->view()->subviews())
      if (auto e = std::dynamic_pointer_cast<NetSettingView>(v)) errorView = e;
    return errorView && !container->transitionInProgress();
  }));
  EXPECT_FALSE(container->isSuccess);

  // The network comes back: the address answers (on loopback, inside this namespace).
  ASSERT_EQ(qvad::testing::runProgram({"ip", "link", "set", "lo", "up"}), 0);
  ASSERT_EQ(qvad::testing::runProgram({"ip", "address", "add", address + "/32", "dev", "lo"}), 0);
  LoopbackPages online(address, 8080);
  ASSERT_TRUE(online.listening());
  online.add("/ad", "<!doctype html><title>back</title>back online");

  std::shared_ptr<Button> reload;  // the error view's button that is not "back"
  for (const auto& v : errorView->subviews())
    if (auto b = std::dynamic_pointer_cast<Button>(v); b && b != errorView->backBtn) reload = b;
  ASSERT_NE(reload, nullptr);
  clickOn(*desktop, *reload);
  ASSERT_TRUE(runUntil([&] { return loaded(*container, url) && container->isSuccess; }));
  EXPECT_TRUE(runUntil([&] { return container->webView->title() == "back"; }, 5));
  for (const auto& v : container->view()->subviews()) EXPECT_EQ(std::dynamic_pointer_cast<NetSettingView>(v), nullptr);
}

TEST(PrivateNetwork, OfflineEnginePathRunsInANetworkOfItsOwn) {
  qvad::testing::expectPassesInPrivateNetwork("ContainerPathsTest.OfflinePageShowsTheErrorViewAndRetryLoadsItOnceOnline");
}

}  // namespace
}  // namespace qvad::test
