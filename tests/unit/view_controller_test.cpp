// Controllers of the toolkit: lazy loading, presentation and dismissal with their
// timing, release of dismissed controllers, navigation stacks and alerts.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/log_capture.h"
#include "platform/toolkit/alert_controller.h"
#include "platform/toolkit/navigation_controller.h"
#include "platform/toolkit/tab_bar_controller.h"
#include "support/toolkit_fixture.h"

namespace qvad {
namespace {

using testing::TrackedController;

class ViewControllerTest : public testing::ToolkitTest {
 protected:
  std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
  std::shared_ptr<Window> window = makeKeyWindow(root);
};

bool contains(const View& parent, const std::shared_ptr<View>& child) {
  return std::ranges::find(parent.subviews(), child) != parent.subviews().end();
}

TEST_F(ViewControllerTest, AnimatedPresentationTakesTransitionTimeThenCompletes) {
  auto shown = std::make_shared<ViewController>();
  bool done = false;
  root->present(shown, true, [&] { done = true; });

  EXPECT_EQ(root->presentedViewController(), shown);
  EXPECT_EQ(shown->presentingViewController(), root);
  EXPECT_TRUE(shown->transitionInProgress());
  EXPECT_TRUE(shown->isBeingPresented());
  runFor(kTransitionDuration / 2);
  EXPECT_FALSE(done);
  EXPECT_TRUE(root->transitionInProgress());
  runFor(kTransitionDuration);
  EXPECT_TRUE(done);
  EXPECT_FALSE(shown->transitionInProgress());
  // Full screen: the presenting view leaves the window.
  EXPECT_TRUE(contains(*window, shown->view()));
  EXPECT_FALSE(contains(*window, root->view()));
}

TEST_F(ViewControllerTest, DismissedUnreferencedControllerIsDestroyedAfterCompletion) {
  bool destroyed = false;
  std::weak_ptr<ViewController> weak;
  std::weak_ptr<View> weakView;
  {
    auto shown = std::make_shared<TrackedController>(&destroyed);
    weak = shown;
    weakView = shown->view();
    root->present(shown, false);
  }
  runUntilIdle();
  ASSERT_FALSE(weak.expired());  // the presenter keeps it

  bool completed = false;
  weak.lock()->dismiss(true, [&] { completed = true; });
  EXPECT_TRUE(weak.lock()->isBeingDismissed());
  // The presenting view is back beneath while the dismissal runs.
  EXPECT_EQ(window->subviews().front(), root->view());
  runFor(kTransitionDuration + 0.01);
  EXPECT_TRUE(completed);
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(weakView.expired());
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(window->subviews().size(), 1u);
}

TEST_F(ViewControllerTest, DismissingTakesControllersPresentedAboveWithIt) {
  bool firstGone = false, secondGone = false;
  std::weak_ptr<ViewController> first, second;
  {
    auto a = std::make_shared<TrackedController>(&firstGone);
    auto b = std::make_shared<TrackedController>(&secondGone);
    first = a;
    second = b;
    root->present(a, false);
    runUntilIdle();
    a->present(b, false);
    runUntilIdle();
  }
  root->dismiss(false);
  runUntilIdle();
  EXPECT_TRUE(firstGone);
  EXPECT_TRUE(secondGone);
  EXPECT_EQ(window->subviews().size(), 1u);
}

TEST_F(ViewControllerTest, PresentingDuringATransitionOrOverAPresentationIsRefused) {
  testing::LogCapture log;
  auto a = std::make_shared<ViewController>();
  auto b = std::make_shared<ViewController>();
  bool bDone = false;
  root->present(a, true);
  root->present(b, false, [&] { bDone = true; });
  runFor(1);
  EXPECT_EQ(root->presentedViewController(), a);
  EXPECT_FALSE(bDone);
  EXPECT_EQ(b->presentingViewController(), nullptr);
  EXPECT_TRUE(log.contains("Attempt to present"));

  // Presenting one's own presenter would loop the chain (and the top-controller search).
  a->present(root, false);
  runUntilIdle();
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(root->presentingViewController(), nullptr);
}

TEST_F(ViewControllerTest, WorkWaitingForTransitionsRunsAfterTheLastOneEnds) {
  std::vector<std::string> order;
  root->whenTransitionsEnd([&] { order.push_back("idle"); });
  EXPECT_TRUE(order.empty());  // on a later turn, never inside the call
  runUntilIdle();
  EXPECT_EQ(order, std::vector<std::string>{"idle"});

  // The presented controller waits for its presentation, then for a dismissal started
  // in its completion; a controller gone meanwhile still lets its waiter run.
  auto shown = std::make_shared<ViewController>();
  root->present(shown, true, [&] {
    order.push_back("presented");
    root->dismiss(true, [&] { order.push_back("dismissed"); });
  });
  shown->whenTransitionsEnd([&] { order.push_back("after"); });
  auto passing = std::make_shared<ViewController>();
  shown->present(passing, false);  // refused: a transition runs
  std::weak_ptr<ViewController> weakShown = shown;
  shown.reset();
  runFor(kTransitionDuration / 2);
  EXPECT_EQ(order, std::vector<std::string>{"idle"});
  runFor(3 * kTransitionDuration);
  EXPECT_EQ(order, (std::vector<std::string>{"idle", "presented", "dismissed", "after"}));
  EXPECT_TRUE(weakShown.expired());
}

TEST_F(ViewControllerTest, ChildOfNavigationStackPresentsThroughItsContainer) {
  auto top = std::make_shared<ViewController>();
  auto nav = NavigationController::make(top);
  window->setRootViewController(nav);
  auto shown = std::make_shared<ViewController>();
  top->present(shown, false);
  runUntilIdle();
  EXPECT_EQ(nav->presentedViewController(), shown);
  EXPECT_EQ(shown->presentingViewController(), nav);
  EXPECT_EQ(nav->visibleViewController(), shown);
  EXPECT_EQ(top->navigationController(), nav);
}

TEST_F(ViewControllerTest, AnimatedPopKeepsLeavingViewUntilDoneThenReleases) {
  auto first = std::make_shared<ViewController>();
  auto nav = NavigationController::make(first);
  window->setRootViewController(nav);
  bool destroyed = false;
  std::weak_ptr<View> leavingView;
  {
    auto pushed = std::make_shared<TrackedController>(&destroyed);
    nav->pushViewController(pushed, true);
    leavingView = pushed->view();
    EXPECT_EQ(nav->topViewController(), pushed);
  }
  EXPECT_NE(nav->popViewController(true), nullptr);
  EXPECT_EQ(nav->topViewController(), first);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(nav->view()->subviews().back(), leavingView.lock());
  runFor(kTransitionDuration + 0.01);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(nav->popViewController(true), nullptr);  // the root stays
}

TEST_F(ViewControllerTest, TabBarSelectsFirstTabAndNoneWhenEmptyOrOutOfRange) {
  auto tabs = std::make_shared<TabBarController>();
  EXPECT_EQ(tabs->selectedViewController(), nullptr);
  auto a = std::make_shared<ViewController>();
  auto b = std::make_shared<ViewController>();
  tabs->setViewControllers({a, b});
  EXPECT_EQ(tabs->selectedViewController(), a);
  tabs->setSelectedIndex(1);
  EXPECT_EQ(tabs->selectedViewController(), b);
  EXPECT_EQ(b->tabBarController(), tabs);
  tabs->setSelectedIndex(7);
  EXPECT_EQ(tabs->selectedViewController(), nullptr);

  tabs->setViewControllers(tabs->viewControllers());  // the same tabs again
  EXPECT_EQ(tabs->viewControllers().size(), 2u);
  EXPECT_EQ(tabs->selectedViewController(), a);

  // A container cannot become a child of what it contains.
  auto nav = NavigationController::make(std::make_shared<ViewController>());
  tabs->setViewControllers({nav});
  nav->pushViewController(tabs, false);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_EQ(tabs->parent(), nullptr);
}

TEST_F(ViewControllerTest, AlertActionDismissesThenRunsHandlerWithTextFields) {
  auto alert = std::make_shared<AlertController>("Title", "Message");
  std::string answer;
  std::vector<std::string> order;
  alert->addTextField([](TextField& f) { f.setPlaceholder("name"); });
  alert->addAction({"Cancel", AlertActionStyle::cancel, [&](const AlertAction&) { order.push_back("cancel"); }});
  std::weak_ptr<AlertController> weakAlert = alert;
  alert->addAction({"OK", AlertActionStyle::defaultStyle, [&, weakAlert](const AlertAction& a) {
                      order.push_back(a.title);
                      EXPECT_EQ(root->presentedViewController(), nullptr);  // already gone
                    }});
  root->present(alert, true);
  runFor(1);
  EXPECT_TRUE(contains(*window, root->view()));  // an alert does not cover its presenter
  alert->textFields()[0]->setText("qv");
  answer = alert->textFields()[0]->text();
  ASSERT_TRUE(alert->pressAction(1));  // through the window's hit test
  alert->pressAction(0);  // one answer per alert
  EXPECT_TRUE(order.empty());
  runFor(1);
  EXPECT_EQ(order, std::vector<std::string>{"OK"});
  EXPECT_EQ(answer, "qv");
}

}  // namespace
}  // namespace qvad
