// The root of a view tree on screen. A window shows its root controller's view and
// routes pointer taps to the view under the pointer. Main thread only.
//
// Repainting: any change in the tree (View::setNeedsDisplay) marks the window as needing
// display and calls its display handler once, until the drawer calls didDisplay(). While
// a contents animation runs (animationState().running) the drawer looks at every tick of
// the display and draws only when animationState().changed: a GIF of 25 frames a second
// costs 25 repaints, not one per tick. No change and no new frame, no repaint.
//
// Resizing: the controller views the window holds directly (the root controller's and
// every presented one's) fill its bounds; setFrame with a new size re-frames them, and
// their controllers lay out again (ViewController::viewDidLayoutSubviews). Other views
// of the window (toasts, a badge) keep their frames.
#pragma once

#include <functional>
#include <memory>

#include "platform/toolkit/view.h"
#include "platform/toolkit/view_controller.h"

namespace qvad {

class Window : public View {
 public:
  /// A window the size of the main screen.
  Window();
  explicit Window(Rect frame);

  std::shared_ptr<ViewController> rootViewController() const { return root_; }
  /// Shows `vc`'s view filling the window, replacing the old root's view.
  void setRootViewController(std::shared_ptr<ViewController> vc);
  /// A new size gives each controller view held directly the new bounds.
  void setFrame(Rect frame) override;
  /// Makes this the application's key window and shows it.
  void makeKeyAndVisible();
  bool isKeyWindow() const;

  /// A tap at `p` in window coordinates, routed by hit testing to the deepest view
  /// that takes it (buttons fire touch-up-inside). Returns false when nothing took it.
  bool sendTap(Point p);

  /// Whether something changed since the last didDisplay().
  bool needsDisplay() const { return needsDisplay_; }
  /// The drawer has drawn the current state.
  void didDisplay() { needsDisplay_ = false; }
  /// Runs (on the main thread) when the window goes from drawn to needing display; it
  /// must not draw inline, only schedule a frame. Empty clears it.
  void setDisplayHandler(std::function<void()> handler) { displayHandler_ = std::move(handler); }
  /// The drawer's two questions on each tick, in one walk of the tree: whether a view
  /// runs a contents animation at main-queue time `now` (keep ticking), and whether a
  /// visible view's animation shows another image than the one drawn last
  /// (View::animatedContentsChanged: draw).
  struct AnimationState {
    bool running = false;
    bool changed = false;
  };
  AnimationState animationState(double now) const;
  const char* className() const override { return "Window"; }

 protected:
  void subtreeNeedsDisplay() override;

 private:
  std::shared_ptr<ViewController> root_;
  bool needsDisplay_ = true;  // nothing has been drawn yet
  std::function<void()> displayHandler_;
};

}  // namespace qvad
