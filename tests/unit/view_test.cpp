// The view tree and tap delivery.
#include <gtest/gtest.h>

#include "platform/notification_center.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/button.h"
#include "platform/toolkit/window.h"
#include "support/toolkit_fixture.h"

namespace qvad {
namespace {

TEST(ViewTree, SuperviewIsWeakAndSubviewsAreOwned) {
  std::weak_ptr<View> weakChild;
  auto child = View::make(Rect{1, 2, 3, 4});
  weakChild = child;
  {
    auto parent = View::make();
    parent->addSubview(child);
    EXPECT_EQ(child->superview(), parent);
  }
  EXPECT_EQ(child->superview(), nullptr);  // the parent is gone; the child outlives it
  auto parent = View::make();
  parent->addSubview(child);
  child.reset();
  EXPECT_FALSE(weakChild.expired());
  weakChild.lock()->removeFromSuperview();
  EXPECT_TRUE(weakChild.expired());
}

TEST(ViewTree, AddingMovesAViewAndReAddingBringsItToFront) {
  auto a = View::make(), b = View::make(), v = View::make(), w = View::make();
  a->addSubview(v);
  a->addSubview(w);
  a->addSubview(v);
  EXPECT_EQ(a->subviews().back(), v);
  b->addSubview(v);
  EXPECT_EQ(a->subviews().size(), 1u);
  EXPECT_EQ(v->superview(), b);
  v->setTag(7);
  EXPECT_EQ(b->viewWithTag(7), v);
  EXPECT_EQ(a->viewWithTag(7), nullptr);

  // An ancestor cannot go under its descendant: the tree would own itself.
  auto leaf = View::make();
  v->addSubview(leaf);
  leaf->addSubview(b);
  leaf->insertSubview(v, 0);
  v->addSubview(v);
  EXPECT_TRUE(leaf->subviews().empty());
  EXPECT_EQ(b->superview(), nullptr);
  EXPECT_EQ(v->superview(), b);
  EXPECT_EQ(leaf->window(), nullptr);
}

class TapTest : public testing::ToolkitTest {};

TEST_F(TapTest, TapGoesToTheTopmostVisibleViewUnderThePoint) {
  auto window = makeKeyWindow(std::make_shared<ViewController>());
  int under = 0, over = 0;
  auto button = View::make<Button>(Rect{10, 10, 40, 40});
  button->addTarget(ControlEvent::touchUpInside, [&] { ++under; });
  window->addSubview(button);
  auto cover = View::make(Rect{0, 0, 100, 100});
  cover->addTapHandler([&] { ++over; });
  window->addSubview(cover);

  EXPECT_TRUE(button->tap());
  EXPECT_EQ(std::pair(over, under), std::pair(1, 0));
  cover->setHidden(true);
  EXPECT_TRUE(button->tap());
  EXPECT_EQ(under, 1);
  button->setEnabled(false);
  EXPECT_TRUE(button->tap());
  EXPECT_EQ(under, 1);
  EXPECT_FALSE(window->sendTap({300, 700}));  // the root view has no tap handler
}

TEST_F(TapTest, DrawingOrderAndHitTestFollowZPositionThenSubviewOrder) {
  auto window = makeKeyWindow(std::make_shared<ViewController>());
  int front = 0, back = 0;
  auto raised = View::make(Rect{0, 0, 50, 50});
  raised->setZPosition(10);
  raised->addTapHandler([&] { ++front; });
  window->addSubview(raised);
  auto later = View::make(Rect{0, 0, 50, 50});
  later->addTapHandler([&] { ++back; });
  window->addSubview(later);
  const auto root = window->rootViewController()->view();
  EXPECT_EQ(window->subviewsInDrawingOrder(), (std::vector<std::shared_ptr<View>>{root, later, raised}));
  window->sendTap({25, 25});
  EXPECT_EQ(std::pair(front, back), std::pair(1, 0));
}

class ApplicationTest : public testing::ToolkitTest {};

TEST_F(ApplicationTest, OpenURLRefusesUnsafeSchemesAndReportsOnTheMainLoop) {
  auto& app = Application::shared();
  app.clearOpenedURLs();
  std::vector<bool> results;
  for (const char* url : {"https://example.com", "javascript:alert(1)", "FILE:///etc/passwd", "no scheme here"}) {
    app.openURL(url, [&](bool ok) { results.push_back(ok); });
  }
  EXPECT_TRUE(results.empty());
  runUntilIdle();
  EXPECT_EQ(results, (std::vector<bool>{true, false, false, false}));
  EXPECT_EQ(app.openedURLs(), std::vector<std::string>{"https://example.com"});
  app.clearOpenedURLs();
}

TEST_F(ApplicationTest, StateChangesPostTheLifecycleNotificationsInOrder) {
  auto& center = NotificationCenter::defaultCenter();
  std::vector<std::string> seen;
  auto id = center.addObserver("", [&](const Notification& n) {
    if (n.name.rfind("Application", 0) == 0) seen.push_back(n.name);
  });
  auto& app = Application::shared();
  app.setApplicationState(ApplicationState::background);
  app.setApplicationState(ApplicationState::active);
  center.removeObserver(id);
  EXPECT_EQ(seen, (std::vector<std::string>{kApplicationWillResignActiveNotification,
                                            kApplicationDidEnterBackgroundNotification,
                                            kApplicationWillEnterForegroundNotification,
                                            kApplicationDidBecomeActiveNotification}));
}

}  // namespace
}  // namespace qvad
