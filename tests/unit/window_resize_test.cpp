// Resizing a window: the controller views it holds take its new bounds, their
// controllers lay their content out again, and views that are not controller views
// (toasts, a badge) stay where they are.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/toolkit/alert_controller.h"
#include "platform/toolkit/navigation_controller.h"
#include "platform/toolkit/tab_bar_controller.h"
#include "support/scoped_screen.h"
#include "support/web_container_fixture.h"
#include "ui/d3_notice_manager.h"
#include "ui/d3_notice_view.h"
#include "ui/in_app_browser_controller.h"
#include "ui/net_setting_view.h"
#include "web/store_sheet_controller.h"

namespace qvad::testing {
namespace {

const Rect kPhone{0, 0, 375, 812};
const Rect kResized{0, 0, 600, 900};

class LayoutCounter : public ViewController {
 public:
  void viewDidLayoutSubviews() override {
    ++layouts;
    lastBounds = view()->bounds();
  }
  int layouts = 0;
  Rect lastBounds;
};

class WindowResizeTest : public ToolkitTest {
 protected:
  std::shared_ptr<LayoutCounter> root = std::make_shared<LayoutCounter>();
  std::shared_ptr<Window> window = makeKeyWindow(root);
};

TEST_F(WindowResizeTest, ControllerViewsFollowTheWindowOtherViewsKeepTheirFrames) {
  auto badge = View::make(Rect{290, 640, 75, 95});  // placed by the host in its screen
  root->view()->addSubview(badge);
  auto toast = View::make(Rect{100, 400, 175, 40});
  window->addSubview(toast);
  auto sheet = std::make_shared<LayoutCounter>();
  sheet->setModalPresentationStyle(ModalPresentationStyle::custom);
  root->present(sheet, false);
  runFor(1);
  ASSERT_EQ(sheet->layouts, 0);  // presented at the size it loaded with

  window->setFrame(kResized);
  for (auto* vc : {root.get(), sheet.get()}) {
    EXPECT_EQ(vc->view()->frame(), kResized);
    EXPECT_EQ(vc->layouts, 1);
    EXPECT_EQ(vc->lastBounds, kResized);  // the hook sees the new size
  }
  EXPECT_EQ(badge->frame(), Rect(290, 640, 75, 95));
  EXPECT_EQ(toast->frame(), Rect(100, 400, 175, 40));

  window->setFrame({20, 30, 600, 900});  // moved only: nothing to lay out
  EXPECT_EQ(root->layouts, 1);
  EXPECT_EQ(sheet->layouts, 1);
  EXPECT_EQ(sheet->view()->frame(), kResized);
}

TEST_F(WindowResizeTest, PresenterCoveredDuringTheResizeComesBackAtTheWindowSize) {
  auto cover = std::make_shared<ViewController>();  // full screen: the presenter leaves the window
  root->present(cover, false);
  runFor(1);
  ASSERT_EQ(root->view()->superview(), nullptr);
  window->setFrame(kResized);
  EXPECT_EQ(cover->view()->frame(), kResized);
  EXPECT_EQ(root->view()->frame(), kPhone);
  cover->dismiss(false);
  runFor(1);
  EXPECT_EQ(root->view()->superview(), window);
  EXPECT_EQ(root->view()->frame(), kResized);
  EXPECT_EQ(root->layouts, 1);
}

TEST_F(WindowResizeTest, NavigationAndTabBarPassTheNewSizeToTheShownChild) {
  auto pushed = std::make_shared<LayoutCounter>();
  auto nav = NavigationController::make(std::make_shared<ViewController>());
  nav->pushViewController(pushed, false);
  auto tab = std::make_shared<LayoutCounter>();
  auto tabs = std::make_shared<TabBarController>();
  tabs->setViewControllers({tab, std::make_shared<ViewController>()});
  using Case = std::pair<std::shared_ptr<ViewController>, LayoutCounter*>;
  for (const auto& [container, child] : std::vector<Case>{{nav, pushed.get()}, {tabs, tab.get()}}) {
    auto w = makeKeyWindow(container);
    w->setFrame(kResized);
    EXPECT_EQ(child->view()->frame(), kResized) << container->className();
    EXPECT_EQ(child->layouts, 1) << container->className();
  }
}

TEST_F(WindowResizeTest, SheetsKeepTheirContentToTheNewEdges) {
  const double top = kStatusBarHeight();
  auto resizeWith = [this](const std::shared_ptr<ViewController>& vc) {
    window->setFrame(kPhone);
    root->present(vc, false);
    runFor(1);
    window->setFrame(kResized);
  };
  auto dismiss = [this] {
    root->dismiss(false);
    runFor(1);
  };

  auto store = std::make_shared<StoreSheetController>();
  resizeWith(store);
  Rect done = store->doneButton()->frame();
  EXPECT_EQ(done, Rect(600 - 76, top, 68, 44));  // 8 points from the right edge, as before
  EXPECT_EQ(store->productLabel()->frame(), Rect(16, top + 60, 568, 60));
  EXPECT_EQ(window->hitTest(done.center()), store->doneButton());  // and it still takes taps there
  dismiss();

  auto browser = std::make_shared<InAppBrowserController>("https://ads.example/landing");
  resizeWith(browser);
  EXPECT_EQ(browser->webView()->frame(), Rect(0, top + 44, 600, 900 - top - 44));
  EXPECT_EQ(browser->dismissButton()->frame(), Rect(8, top + 7, 72, 30));
  EXPECT_EQ(browser->dismissButton()->superview()->frame(), Rect(0, 0, 600, top + 44));
  dismiss();

  auto alert = std::make_shared<AlertController>("Title", "Message");
  alert->addAction({"OK", AlertActionStyle::defaultStyle, nullptr});
  resizeWith(alert);
  EXPECT_EQ(alert->view()->frame(), kResized);  // the dimming covers the whole window
  EXPECT_EQ(alert->actionButton(0)->superview()->center(), kResized.center());
  dismiss();
}

TEST_F(WindowResizeTest, ToastUpStaysWhileOneShownAfterTheResizeUsesTheNewWidth) {
  std::string text;  // wraps on either width
  for (int i = 0; i < 6; ++i) text += "Network unavailable, please try again later. ";
  auto& notices = D3NoticeManager::sharedInstance();
  auto shownNotice = [&notices] {
    for (const auto& v : notices.notices()) {
      if (auto n = std::dynamic_pointer_cast<D3NoticeView>(v); n && !n->isHidden()) return n;
    }
    return std::shared_ptr<D3NoticeView>();
  };
  notices.showText(text, 2, true);
  auto before = shownNotice();
  ASSERT_TRUE(before);
  const Rect up = before->frame();
  EXPECT_LE(before->label->frame().width(), 375 - 50);

  ScopedScreen screen(600, 900);
  window->setFrame(kResized);
  EXPECT_EQ(before->frame(), up);
  notices.showText(text, 2, true);
  auto after = shownNotice();
  ASSERT_TRUE(after);
  EXPECT_GT(after->label->frame().width(), 375 - 50);
  EXPECT_LE(after->label->frame().width(), 600 - 50);
  EXPECT_EQ(after->center(), kResized.center());
}

// --- The web ad container ---

// Every frame of the container's chrome, and whether its buttons show.
std::pair<std::vector<Rect>, bool> chromeOf(const BaseWKWebViewController& c) {
  return {{c.navigationBarView->frame(), c.buttonStripView->frame(), c.backBtn->frame(), c.closeBtn->frame(),
           c.barDividerView->frame(), c.webView->frame(), c.progressView->frame()},
          c.buttonStripView->isHidden()};
}

using WebContainerResizeTest = WebContainerTest;

TEST_F(WebContainerResizeTest, ResizedContainerIsLaidOutAsOneMadeAtTheNewSize) {
  for (const std::string url : {"https://ads.example/", "tavro://webview?url=https://ads.example/&page_fullscreen=1",
                                "tavro://webview?url=https://ads.example/&page_titlebar=0&page_progressbar=0"}) {
    auto c = show(url);
    ASSERT_TRUE(c) << url;
    const auto onPhone = chromeOf(*c);
    {
      ScopedScreen screen(600, 900);
      window->setFrame(kResized);
      EXPECT_EQ(c->view()->frame(), kResized) << url;
      EXPECT_EQ(c->webView->frame().width(), 600) << url;

      auto otherHost = std::make_shared<ViewController>();
      auto otherWindow = makeKeyWindow(otherHost);  // the size of the new screen
      BaseWKWebViewController::ShowWebView(url, otherHost, false, nullptr);
      runFor(1);
      auto fresh = std::dynamic_pointer_cast<BaseWKWebViewController>(otherHost->presentedViewController());
      ASSERT_TRUE(fresh) << url;
      EXPECT_EQ(chromeOf(*c), chromeOf(*fresh)) << url;
      otherHost->dismiss(false);
      runFor(1);
      window->makeKeyAndVisible();
      window->setFrame(kPhone);
    }
    EXPECT_EQ(chromeOf(*c), onPhone) << url << " back on the phone";
    c->dismiss(false);
    runFor(1);
  }
}

TEST_F(WebContainerResizeTest, ErrorViewUpDuringAResizeIsCentredForTheNewSize) {
  auto c = show("https://ads.example/");
  ASSERT_TRUE(c);
  auto& p = page(*c);
  p.deliverDidStartProvisional(p.loadCalls()[0].navigation);
  p.deliverDidFailProvisional(p.loadCalls()[0].navigation, error(-1009));
  auto v = errorView(*c);
  ASSERT_TRUE(v);
  window->setFrame(kResized);
  EXPECT_EQ(v->frame(), Rect(0, 0, 600, 860));  // still 40 points short of the bottom
  // Where an error view made at that size has its picture and buttons.
  auto made = NetSettingView::create(Rect(0, 0, 600, 860));
  ASSERT_EQ(v->subviews().size(), made->subviews().size());
  for (std::size_t i = 0; i < made->subviews().size(); ++i)
    EXPECT_EQ(v->subviews()[i]->frame(), made->subviews()[i]->frame()) << i;
  EXPECT_EQ(v->subviews()[0]->frame(), Rect(217.5, 317.5, 165, 165));
  EXPECT_TRUE(window->sendTap({300, 561}));  // the reload button's centre reloads
  EXPECT_EQ(p.loadCalls().size(), 2u);
}

}  // namespace
}  // namespace qvad::testing
