// Finding the top controller, the controller of a view, and stepping back.
#include <gtest/gtest.h>

#include "net/utils.h"
#include "platform/toolkit/alert_controller.h"
#include "platform/toolkit/navigation_controller.h"
#include "platform/toolkit/tab_bar_controller.h"
#include "support/log_capture.h"
#include "support/toolkit_fixture.h"
#include "ui/view_controller_helpers.h"

namespace qvad {
namespace {

using testing::TrackedController;

class TopControllerTest : public testing::ToolkitTest {};

TEST_F(TopControllerTest, DescendsThroughModalTabAndNavigation) {
  auto root = std::make_shared<ViewController>();
  auto window = makeKeyWindow(root);
  auto first = std::make_shared<ViewController>();
  auto visible = std::make_shared<ViewController>();
  auto nav = NavigationController::make(first);
  nav->pushViewController(visible, false);
  auto tabs = std::make_shared<TabBarController>();
  tabs->setViewControllers({nav, std::make_shared<ViewController>()});
  root->present(tabs, false);
  runUntilIdle();
  EXPECT_EQ(Utils::topViewControllerWithRootViewController(root), visible);
  EXPECT_EQ(Utils::topViewControllerWithRootViewController(nullptr), nullptr);
  // A tab bar without a selected tab answers none.
  EXPECT_EQ(Utils::topViewControllerWithRootViewController(std::make_shared<TabBarController>()), nullptr);
}

TEST_F(TopControllerTest, AlertOnTopAnswersItsPresenter) {
  auto root = std::make_shared<ViewController>();
  auto window = makeKeyWindow(root);
  auto shown = std::make_shared<ViewController>();
  root->present(shown, false);
  runUntilIdle();
  shown->present(std::make_shared<AlertController>("t", std::nullopt), false);
  runUntilIdle();
  EXPECT_EQ(Utils::topViewControllerWithRootViewController(root), shown);
  // An alert that presents nothing and was never presented answers no controller.
  EXPECT_EQ(Utils::topViewControllerWithRootViewController(std::make_shared<AlertController>("t", "m")), nullptr);
}

TEST_F(TopControllerTest, FirstViewControllerComesFromTheSuperviewChain) {
  auto vc = std::make_shared<ViewController>();
  auto inner = View::make();
  auto leaf = View::make();
  vc->view()->addSubview(inner);
  inner->addSubview(leaf);
  EXPECT_EQ(getFirstViewController(*leaf), vc);
  EXPECT_EQ(getFirstViewController(*inner), vc);
  EXPECT_EQ(getFirstViewController(*vc->view()), nullptr);  // the view itself is not examined
  EXPECT_EQ(getFirstViewController(*View::make()), nullptr);
}

class TransitionPreviousTest : public testing::ToolkitTest {};

TEST_F(TransitionPreviousTest, ModalTopIsDismissedUnanimatedAndCompletes) {
  testing::LogCapture log;
  auto root = std::make_shared<ViewController>();
  auto window = makeKeyWindow(root);
  bool destroyed = false;
  {
    auto shown = std::make_shared<TrackedController>(&destroyed);
    root->present(shown, false);
  }
  runUntilIdle();
  bool completed = false;
  transitionPreviousVc(true, [&] { completed = true; });
  runUntilIdle();  // no animation time needed, whatever `animated` says
  EXPECT_TRUE(completed);
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(log.contains("----- <ViewController: 0x"));
}

TEST_F(TransitionPreviousTest, ModalNavigationStackIsDismissedWhole) {
  auto root = std::make_shared<ViewController>();
  auto window = makeKeyWindow(root);
  auto nav = NavigationController::make(std::make_shared<ViewController>());
  nav->pushViewController(std::make_shared<ViewController>(), false);
  root->present(nav, false);
  runUntilIdle();
  bool completed = false;
  transitionPreviousVc(false, [&] { completed = true; });
  runUntilIdle();
  EXPECT_TRUE(completed);
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(TransitionPreviousTest, NavigationTopIsPoppedAnimatedWithoutCompletion) {
  auto first = std::make_shared<ViewController>();
  auto nav = NavigationController::make(first);
  auto window = makeKeyWindow(nav);
  auto second = std::make_shared<ViewController>();
  nav->pushViewController(second, false);
  bool completed = false;
  transitionPreviousVc(false, [&] { completed = true; });
  EXPECT_EQ(nav->topViewController(), first);
  runUntilIdle();  // animated whatever `animated` says: the leaving view slides out for a while
  EXPECT_EQ(second->view()->superview(), nav->view());
  runFor(1);
  EXPECT_EQ(second->view()->superview(), nullptr);
  EXPECT_FALSE(completed);
}

TEST_F(TransitionPreviousTest, NothingHappensWithoutAStackOrKeyWindow) {
  bool completed = false;
  transitionPreviousVc(false, [&] { completed = true; });  // no key window
  auto window = makeKeyWindow(std::make_shared<ViewController>());
  transitionPreviousVc(false, [&] { completed = true; });  // plain root, no stack
  runFor(1);
  EXPECT_FALSE(completed);
}

}  // namespace
}  // namespace qvad
