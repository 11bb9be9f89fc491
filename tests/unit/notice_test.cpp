// Toast notices: the notice view's layout, and the manager's reuse and hide timers.
#include <gtest/gtest.h>

#include <string>

#include "support/toolkit_fixture.h"
#include "ui/d3_notice_manager.h"
#include "ui/d3_notice_view.h"

namespace qvad {
namespace {

TEST(D3NoticeView, LongTextWrapsInsideTheScreenAndGrowsInHeightOnly) {
  auto shortOne = D3NoticeView::withText("One line");
  std::string text;
  for (int i = 0; i < 30; ++i) text += "wrapping words ";
  auto v = D3NoticeView::withText(text);
  EXPECT_LE(v->label->frame().width(), 375 - 50);
  EXPECT_LE(v->frame().width(), 375);
  EXPECT_GT(v->label->frame().height(), 3 * shortOne->label->frame().height());
}

TEST(D3NoticeView, BoxFramesTheTextWithFixedMarginsWhenMadeAndWhenChanged) {
  auto v = D3NoticeView::withText("short");
  auto expectFramed = [&] {
    Rect l = v->label->frame();
    EXPECT_EQ(v->frame(), Rect(0, 0, l.width() + 50, l.height() + 30));
    EXPECT_EQ(l.origin, (Point{25, 15}));
  };
  expectFramed();
  v->setTextContent("a somewhat longer text");
  expectFramed();
  v->setTextContent(std::nullopt);
  EXPECT_EQ(v->label->frame().size, (Size{0, 0}));
  EXPECT_EQ(v->frame(), Rect(0, 0, 50, 30));
}

class NoticeManagerTest : public testing::ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    window = makeKeyWindow(std::make_shared<ViewController>());
    manager().clearNotice();
  }
  static D3NoticeManager& manager() { return D3NoticeManager::sharedInstance(); }
  static std::shared_ptr<D3NoticeView> textNotice() {
    for (const auto& v : manager().notices()) {
      if (v->tag() == 891) return std::dynamic_pointer_cast<D3NoticeView>(v);
    }
    return nullptr;
  }
  std::shared_ptr<Window> window;
};

TEST_F(NoticeManagerTest, ToastShowsCentredAboveEverythingAndHidesAfterItsTime) {
  manager().showText("Saved", 2, true);
  auto n = textNotice();
  ASSERT_TRUE(n);
  EXPECT_EQ(n->superview(), window);
  EXPECT_FALSE(n->isHidden());
  EXPECT_EQ(n->center(), (Point{187.5, 406}));
  EXPECT_EQ(n->zPosition(), 9999999);
  EXPECT_EQ(window->subviewsInDrawingOrder().back(), n);
  EXPECT_EQ(n->label->text(), "Saved");
  runFor(1.99);
  EXPECT_FALSE(n->isHidden());
  runFor(0.02);
  EXPECT_TRUE(n->isHidden());
}

TEST_F(NoticeManagerTest, LaterToastsReuseTheOneTextNotice) {
  manager().showText("first", 2, true);
  auto n = textNotice();
  std::size_t count = manager().notices().size();
  runFor(3);
  manager().showText("a second and longer text", 2, true);
  EXPECT_EQ(textNotice(), n);
  EXPECT_EQ(manager().notices().size(), count);
  EXPECT_EQ(n->label->text(), "a second and longer text");
  EXPECT_FALSE(n->isHidden());
  EXPECT_EQ(n->center(), (Point{187.5, 406}));
  std::size_t inWindow = 0;
  for (const auto& v : window->subviews()) inWindow += v->tag() == 891;
  EXPECT_EQ(inWindow, 1u);
  // A centre point given places the reused toast a quarter of the way down.
  manager().showText("placed", 2, true, Point{5, 5});
  EXPECT_EQ(n->center(), (Point{187.5, 203}));
}

TEST_F(NoticeManagerTest, EarlierTimerHidesTheReusedNoticeEarly) {
  manager().showText("one", 2, true);
  runFor(1.5);
  manager().showText("two", 2, true);
  auto n = textNotice();
  runFor(0.49);
  EXPECT_FALSE(n->isHidden());
  runFor(0.02);  // the first toast's timer fires at 2 s
  EXPECT_TRUE(n->isHidden());
  runFor(2);
  EXPECT_TRUE(n->isHidden());
}

TEST_F(NoticeManagerTest, WithoutAutoClearTheToastStaysUntilCleared) {
  manager().showText("stays", 2, false);
  auto n = textNotice();
  runFor(30);
  EXPECT_FALSE(n->isHidden());
  manager().clearNotice();
  EXPECT_TRUE(n->isHidden());
}

TEST_F(NoticeManagerTest, ToastFollowsToANewKeyWindowWhenItsWindowIsGone) {
  manager().showText("old window", 2, true);
  Application::shared().setKeyWindow(nullptr);
  window.reset();
  window = makeKeyWindow(std::make_shared<ViewController>());
  manager().showText("new window", 2, true);
  EXPECT_EQ(textNotice()->superview(), window);
  EXPECT_EQ(manager().window(), window);
}

TEST_F(NoticeManagerTest, ClearHidesNoticeKindsOnlyAndHideIgnoresNull) {
  auto success = View::make(Rect{0, 0, 20, 20});
  success->setTag(888);
  auto progress = View::make(Rect{0, 0, 20, 20});
  progress->setTag(989);
  manager().addNotice(success, 1, false);
  manager().addNotice(progress, 1, false);
  EXPECT_EQ(success->center(), (Point{187.5, 406}));
  EXPECT_EQ(success->superview(), window);
  manager().clearNotice();
  EXPECT_TRUE(success->isHidden());
  EXPECT_FALSE(progress->isHidden());
  manager().hideNotice(nullptr);
  manager().hideNotice(progress);
  EXPECT_TRUE(progress->isHidden());
}

}  // namespace
}  // namespace qvad
