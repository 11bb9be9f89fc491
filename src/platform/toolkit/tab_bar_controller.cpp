#include "platform/toolkit/tab_bar_controller.h"

namespace qvad {

void TabBarController::setViewControllers(std::vector<std::shared_ptr<ViewController>> vcs) {
  // `vcs` is a copy: it may be viewControllers() itself, which the loop below empties.
  while (!children().empty()) {
    auto c = children().back();
    if (c->isViewLoaded()) c->view()->removeFromSuperview();
    removeChild(*c);
  }
  for (const auto& vc : vcs) addChild(vc);
  setSelectedIndex(children().empty() ? std::nullopt : std::optional<std::size_t>(0));
}

void TabBarController::setSelectedIndex(std::optional<std::size_t> index) {
  selected_ = index && *index < children().size() ? index : std::nullopt;
  showSelected();
}

void TabBarController::viewDidLayoutSubviews() {
  for (const auto& c : children()) {
    if (c->isViewLoaded() && c->view()->superview() == view()) c->view()->setFrame(view()->bounds());
  }
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const {
  return selected_ ? children()[*selected_] : nullptr;
}

void TabBarController::showSelected() {
  if (!isViewLoaded()) return;
  auto container = view();
  auto selected = selectedViewController();
  for (const auto& c : children()) {
    if (c != selected && c->isViewLoaded() && c->view()->superview() == container) c->view()->removeFromSuperview();
  }
  if (selected) {
    auto v = selected->view();
    v->setFrame(container->bounds());
    container->addSubview(v);
  }
}

}  // namespace qvad
