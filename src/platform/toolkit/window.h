// The root of a view tree on screen. A window shows its root controller's view and
// routes pointer taps to the view under the pointer. Main thread only.
#pragma once

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
  /// Makes this the application's key window and shows it.
  void makeKeyAndVisible();
  bool isKeyWindow() const;

  /// A tap at `p` in window coordinates, routed by hit testing to the deepest view
  /// that takes it (buttons fire touch-up-inside). Returns false when nothing took it.
  bool sendTap(Point p);
  const char* className() const override { return "Window"; }

 private:
  std::shared_ptr<ViewController> root_;
};

}  // namespace qvad
