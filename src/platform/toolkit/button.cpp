#include "platform/toolkit/button.h"

#include <algorithm>

namespace qvad {

void Button::setImage(std::shared_ptr<const Image> image, ControlState state) {
  if (image) {
    images_[state] = std::move(image);
  } else {
    images_.erase(state);
  }
  setNeedsDisplay();
}

std::shared_ptr<const Image> Button::image(ControlState state) const {
  auto it = images_.find(state);
  if (it == images_.end()) it = images_.find(ControlState::normal);
  return it == images_.end() ? nullptr : it->second;
}

void Button::setTitle(std::optional<std::string> title, ControlState state) {
  if (title) {
    titles_[state] = std::move(*title);
  } else {
    titles_.erase(state);
  }
  setNeedsDisplay();
}

std::optional<std::string> Button::title(ControlState state) const {
  auto it = titles_.find(state);
  if (it == titles_.end()) it = titles_.find(ControlState::normal);
  if (it == titles_.end()) return std::nullopt;
  return it->second;
}

void Button::addTarget(ControlEvent event, std::function<void()> action) {
  actions_.emplace_back(event, std::move(action));
}

void Button::sendActions(ControlEvent event) {
  auto keep = sharedAs<Button>();  // an action may remove this button from its tree
  auto actions = actions_;
  for (auto& [e, action] : actions) {
    if (e == event && action) action();
  }
}

void Button::draw(GraphicsContext& context, Rect rect) {
  ControlState state = currentState();
  if (auto img = image(state)) {
    Size n = img->size();
    double f = std::min({1.0, n.width > 0 ? rect.width() / n.width : 1.0, n.height > 0 ? rect.height() / n.height : 1.0});
    Size s{n.width * f, n.height * f};
    context.drawImage(*img, {rect.x() + (rect.width() - s.width) / 2, rect.y() + (rect.height() - s.height) / 2, s.width,
                             s.height});
  }
  if (auto t = title(state)) {
    Color c = titleColor_;
    if (!enabled_) c.alpha *= 0.4;
    context.setFillColor(c);
    context.drawText(*t, font_, TextAlignment::center, 1, rect);
  }
}

bool Button::handleTap() {
  if (!enabled_) return true;  // a disabled button swallows the tap
  sendActions(ControlEvent::touchUpInside);
  return true;
}

}  // namespace qvad
