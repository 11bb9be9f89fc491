#include "platform/toolkit/navigation_controller.h"

#include "platform/main_queue.h"

namespace qvad {

std::shared_ptr<NavigationController> NavigationController::make(const std::shared_ptr<ViewController>& root) {
  auto nav = std::make_shared<NavigationController>();
  if (root) nav->pushViewController(root, false);
  return nav;
}

std::shared_ptr<ViewController> NavigationController::topViewController() const {
  return children().empty() ? nullptr : children().back();
}

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
  if (auto presented = presentedViewController()) return presented;
  return topViewController();
}

void NavigationController::viewDidLoad() { showTop(); }

void NavigationController::viewDidLayoutSubviews() {
  for (const auto& child : children()) {
    if (child->isViewLoaded() && child->view()->superview() == view()) child->view()->setFrame(view()->bounds());
  }
}

void NavigationController::showTop() {
  if (!isViewLoaded()) return;
  auto top = topViewController();
  auto container = view();
  for (const auto& child : children()) {
    if (child != top && child->isViewLoaded() && child->view()->superview() == container) {
      child->view()->removeFromSuperview();
    }
  }
  if (top) {
    auto v = top->view();
    v->setFrame(container->bounds());
    container->addSubview(v);
  }
}

void NavigationController::pushViewController(const std::shared_ptr<ViewController>& vc, bool animated) {
  if (!vc || vc->parent().get() == this) return;
  addChild(vc);
  if (vc->parent().get() != this) return;  // refused: it contains this stack
  vc->viewWillAppear(animated);
  showTop();
  vc->viewDidAppear(animated);
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool animated) {
  if (children().size() < 2) return nullptr;
  auto popped = children().back();
  popped->viewWillDisappear(animated);
  removeChild(*popped);
  showTop();
  if (popped->isViewLoaded() && popped->view()->superview().get() == view().get()) {
    // The leaving view stays on top until the slide-out ends.
    view()->addSubview(popped->view());
  }
  auto finish = [popped, animated] {
    if (popped->isViewLoaded()) popped->view()->removeFromSuperview();
    popped->viewDidDisappear(animated);
  };
  if (animated) {
    MainQueue::main().asyncAfter(kTransitionDuration, finish);
  } else {
    MainQueue::main().async(finish);
  }
  return popped;
}

}  // namespace qvad
