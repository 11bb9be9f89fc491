#include "platform/toolkit/window.h"

#include "platform/toolkit/application.h"
#include "platform/toolkit/screen.h"

namespace qvad {

Window::Window() : Window(Screen::main().bounds()) {}

Window::Window(Rect frame) : View(frame) { setHidden(true); }

void Window::setRootViewController(std::shared_ptr<ViewController> vc) {
  if (root_ == vc) return;
  if (root_ && root_->isViewLoaded() && root_->view()->superview().get() == this) root_->view()->removeFromSuperview();
  root_ = std::move(vc);
  if (root_) {
    auto v = root_->view();
    v->setFrame(bounds());
    insertSubview(v, 0);
  }
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  Application::shared().setKeyWindow(std::static_pointer_cast<Window>(sharedAs<View>()));
}

bool Window::isKeyWindow() const { return Application::shared().keyWindow().get() == this; }

bool Window::sendTap(Point p) {
  auto hit = hitTest(p);
  return hit && hit->handleTap();
}

}  // namespace qvad
