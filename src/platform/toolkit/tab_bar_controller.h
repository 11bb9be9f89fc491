// Tabs of controllers; the selected one's view fills the tab-bar controller's view.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/toolkit/view_controller.h"

namespace qvad {

class TabBarController : public ViewController {
 public:
  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return children(); }
  /// Replaces the tabs; the first one becomes selected (none when the list is empty).
  void setViewControllers(std::vector<std::shared_ptr<ViewController>> vcs);
  std::optional<std::size_t> selectedIndex() const { return selected_; }
  /// Selects a tab; an index out of range selects none.
  void setSelectedIndex(std::optional<std::size_t> index);
  std::shared_ptr<ViewController> selectedViewController() const;
  const char* className() const override { return "TabBarController"; }

 protected:
  void viewDidLoad() override { showSelected(); }
  /// The shown child fills the container again.
  void viewDidLayoutSubviews() override;

 private:
  void showSelected();
  std::optional<std::size_t> selected_;
};

}  // namespace qvad
