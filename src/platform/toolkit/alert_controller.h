// A modal alert: title, message, text fields and action buttons over a dimmed
// background. It is presented without covering its presenter (the presenter's view
// stays beneath). Pressing an action's button dismisses the alert and, once the
// dismissal has finished, runs the action's handler.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/button.h"
#include "platform/toolkit/text_field.h"
#include "platform/toolkit/view_controller.h"

namespace qvad {

enum class AlertActionStyle { defaultStyle, cancel, destructive };
enum class AlertControllerStyle { alert, actionSheet };

struct AlertAction {
  std::string title;
  AlertActionStyle style = AlertActionStyle::defaultStyle;
  /// Runs on the main thread after the alert is gone; capture owners weakly.
  std::function<void(const AlertAction&)> handler;
};

class AlertController : public ViewController {
 public:
  AlertController(std::optional<std::string> title, std::optional<std::string> message,
                  AlertControllerStyle style = AlertControllerStyle::alert);

  const std::optional<std::string>& alertTitle() const { return title_; }
  const std::optional<std::string>& message() const { return message_; }
  AlertControllerStyle preferredStyle() const { return style_; }

  void addAction(AlertAction action);
  const std::vector<AlertAction>& actions() const { return actions_; }
  /// Adds a text field; `configure` (may be empty) runs on it at once.
  void addTextField(const std::function<void(TextField&)>& configure);
  const std::vector<std::shared_ptr<TextField>>& textFields() const { return textFields_; }

  /// The button of action `index` (loads the view); nullptr when out of range.
  std::shared_ptr<Button> actionButton(std::size_t index);
  /// Taps the button of action `index`, as a user would; false when nothing took it.
  bool pressAction(std::size_t index);
  const char* className() const override { return "AlertController"; }
  /// Centres the alert in the area it is shown in (the presenter's window, not the screen).
  void viewWillAppear(bool animated) override;
  /// The dimmed view follows its window; the alert stays centred in it.
  void viewDidLayoutSubviews() override;

 protected:
  void loadView() override;

 private:
  void layoutContent();
  void centreBox();
  void actionPressed(std::size_t index);

  std::optional<std::string> title_;
  std::optional<std::string> message_;
  AlertControllerStyle style_;
  std::vector<AlertAction> actions_;
  std::vector<std::shared_ptr<TextField>> textFields_;
  std::vector<std::shared_ptr<Button>> buttons_;
  std::shared_ptr<View> box_;
  bool handled_ = false;
};

}  // namespace qvad
