// A stack of controllers; the top one's view fills the navigation controller's view.
// Pushing and popping run as transitions like presentation does (kTransitionDuration
// when animated); a popped controller is released once the pop has finished, unless
// someone else holds it.
#pragma once

#include <memory>
#include <vector>

#include "platform/toolkit/view_controller.h"

namespace qvad {

class NavigationController : public ViewController {
 public:
  NavigationController() = default;
  /// Use make(root): the root is pushed once the controller is owned by a shared_ptr.
  static std::shared_ptr<NavigationController> make(const std::shared_ptr<ViewController>& root);

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return children(); }
  std::shared_ptr<ViewController> topViewController() const;
  /// What is on screen: the controller presented over the stack, else the top one.
  std::shared_ptr<ViewController> visibleViewController() const;

  void pushViewController(const std::shared_ptr<ViewController>& vc, bool animated);
  /// Pops the top controller unless it is the root; returns it (or nullptr).
  std::shared_ptr<ViewController> popViewController(bool animated);
  const char* className() const override { return "NavigationController"; }

 protected:
  void viewDidLoad() override;
  /// The shown child fills the container again.
  void viewDidLayoutSubviews() override;

 private:
  void showTop();
};

}  // namespace qvad
