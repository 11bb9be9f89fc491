#include "ui/view_controller_helpers.h"

#include "net/utils.h"
#include "platform/log.h"
#include "platform/toolkit/alert_controller.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/navigation_controller.h"
#include "platform/toolkit/tab_bar_controller.h"
#include "platform/toolkit/window.h"

namespace qvad {
namespace {

std::shared_ptr<ViewController> keyRootViewController() {
  auto window = Application::shared().keyWindow();
  return window ? window->rootViewController() : nullptr;
}

std::shared_ptr<ViewController> topOfKeyWindow() {
  return Utils::topViewControllerWithRootViewController(keyRootViewController());
}

}  // namespace

std::shared_ptr<ViewController> Utils::topViewControllerWithRootViewController(
    const std::shared_ptr<ViewController>& viewController) {
  auto c = viewController;
  while (c) {
    if (auto presented = c->presentedViewController()) {
      c = presented;
    } else if (auto tab = std::dynamic_pointer_cast<TabBarController>(c)) {
      c = tab->selectedViewController();
    } else if (auto nav = std::dynamic_pointer_cast<NavigationController>(c)) {
      c = nav->visibleViewController();
    } else if (std::dynamic_pointer_cast<AlertController>(c)) {
      return c->presentingViewController();
    } else {
      return c;
    }
  }
  return nullptr;
}

std::shared_ptr<ViewController> getFirstViewController(const View& view) {
  for (auto v = view.superview(); v; v = v->superview()) {
    if (auto vc = std::dynamic_pointer_cast<ViewController>(v->nextResponder())) return vc;
  }
  return nullptr;
}

void transitionPreviousVc(bool /*animated*/, std::function<void()> complete) {
  auto top = topOfKeyWindow();
  if (top && top->presentingViewController()) {
    auto current = topOfKeyWindow();
    logLine("----- " + (current ? current->description() : std::string("nil")));
    if (current) current->dismiss(false, std::move(complete));
    return;
  }
  auto current = topOfKeyWindow();
  if (!current) return;
  if (auto nav = current->navigationController()) nav->popViewController(true);
}

}  // namespace qvad
