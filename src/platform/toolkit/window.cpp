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

// One walk answers both of the drawer's questions. A hidden view and its subviews
// neither run nor show a change; under alpha 0 they may run but draw nothing (the
// renderer skips them too).
void collect(const View& v, double now, bool drawn, Window::AnimationState& state) {
  if (v.isHidden()) return;
  drawn = drawn && v.alpha() > 0;
  if (!state.running) state.running = v.hasRunningAnimation(now);
  if (!state.changed && drawn) state.changed = v.animatedContentsChanged(now);
  for (const auto& s : v.subviews()) {
    if (state.running && state.changed) return;
    collect(*s, now, drawn, state);
  }
}

}  // namespace

Window::AnimationState Window::animationState(double now) const {
  AnimationState state;
  collect(*this, now, /*drawn=*/true, state);
  return state;
}

bool Window::sendTap(Point p) {
  auto hit = hitTest(p);
  return hit && hit->handleTap();
}

}  // namespace qvad
