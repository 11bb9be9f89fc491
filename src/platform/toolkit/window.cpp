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

void Window::setFrame(Rect f) {
  const Size old = frame().size;
  View::setFrame(f);
  if (f.size == old) return;
  auto held = subviews();  // a controller's layout may change the list
  for (const auto& v : held) {
    auto vc = v->owningViewController();
    if (vc && v->superview().get() == this) v->setFrame(bounds());
  }
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  Application::shared().setKeyWindow(std::static_pointer_cast<Window>(sharedAs<View>()));
}

bool Window::isKeyWindow() const { return Application::shared().keyWindow().get() == this; }

void Window::subtreeNeedsDisplay() {
  if (needsDisplay_) return;  // one call per frame, however many changes
  needsDisplay_ = true;
  if (displayHandler_) {
    auto handler = displayHandler_;  // the handler may replace itself
    handler();
  }
}

namespace {

bool anyRunning(const View& v, double now) {
  if (v.isHidden()) return false;
  if (v.hasRunningAnimation(now)) return true;
  for (const auto& s : v.subviews()) {
    if (anyRunning(*s, now)) return true;
  }
  return false;
}

bool anyChanged(const View& v, double now) {
  if (v.isHidden() || !(v.alpha() > 0)) return false;  // the renderer skips these too
  if (v.animatedContentsChanged(now)) return true;
  for (const auto& s : v.subviews()) {
    if (anyChanged(*s, now)) return true;
  }
  return false;
}

}  // namespace

bool Window::isAnimating(double now) const { return anyRunning(*this, now); }

bool Window::animatedContentsChanged(double now) const { return anyChanged(*this, now); }

bool Window::sendTap(Point p) {
  auto hit = hitTest(p);
  return hit && hit->handleTap();
}

}  // namespace qvad
