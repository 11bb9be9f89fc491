// A pressable control: an image and a title per state, and actions for control events.
// A tap that hits the button (View::tap(), or a click routed by the window) fires its
// touch-up-inside actions when it is enabled.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/view.h"

namespace qvad {

enum class ControlState { normal, highlighted, disabled, selected };
enum class ControlEvent { touchUpInside };
enum class ButtonType { custom, system };

class Button : public View {
 public:
  explicit Button(Rect frame = {}, ButtonType type = ButtonType::custom) : View(frame), type_(type) {}

  ButtonType buttonType() const { return type_; }
  void setImage(std::shared_ptr<const Image> image, ControlState state = ControlState::normal);
  /// The image for `state`, falling back to the normal one.
  std::shared_ptr<const Image> image(ControlState state = ControlState::normal) const;
  void setTitle(std::optional<std::string> title, ControlState state = ControlState::normal);
  std::optional<std::string> title(ControlState state = ControlState::normal) const;
  Color titleColor() const { return titleColor_; }
  void setTitleColor(Color c) { changeAppearance(titleColor_, c); }
  Font font() const { return font_; }
  void setFont(Font f) { changeAppearance(font_, std::move(f)); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool on) { changeAppearance(enabled_, on); }
  ControlState currentState() const { return enabled_ ? ControlState::normal : ControlState::disabled; }

  /// Target-action: `action` runs for `event`. Capture the target weakly.
  void addTarget(ControlEvent event, std::function<void()> action);
  void sendActions(ControlEvent event);
  bool handleTap() override;
  /// The current state's image at its natural size (shrunk to fit, centred) and title.
  void draw(GraphicsContext& context, Rect rect) override;
  const char* className() const override { return "Button"; }

 private:
  ButtonType type_;
  std::map<ControlState, std::shared_ptr<const Image>> images_;
  std::map<ControlState, std::string> titles_;
  Color titleColor_ = Color::rgb(0, 122, 255);
  Font font_ = Font::systemFont(17);
  bool enabled_ = true;
  std::vector<std::pair<ControlEvent, std::function<void()>>> actions_;
};

}  // namespace qvad
