// A one-line editable text: headless hosts and tests set the text directly; on the
// desktop an entry widget edits it in place.
#pragma once

#include <string>

#include "platform/toolkit/view.h"

namespace qvad {

class TextField : public View {
 public:
  explicit TextField(Rect frame = {}) : View(frame) {}

  const std::string& text() const { return text_; }
  void setText(std::string t) { changeAppearance(text_, std::move(t)); }
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string p) { changeAppearance(placeholder_, std::move(p)); }
  Font font() const { return font_; }
  void setFont(Font f) { changeAppearance(font_, std::move(f)); }
  /// A thin frame, then the text (or the placeholder, greyed) on one line.
  void draw(GraphicsContext& context, Rect rect) override {
    context.setStrokeColor(Color::rgb(199, 199, 204));
    context.setLineWidth(0.5);
    context.addRoundedRect(rect.insetBy(0.25, 0.25), 5);
    context.strokePath();
    bool empty = text_.empty();
    context.setFillColor(empty ? Color::rgb(142, 142, 147) : Color::black());
    context.drawText(empty ? placeholder_ : text_, font_, TextAlignment::left, 1, rect.insetBy(6, 0));
  }
  const char* className() const override { return "TextField"; }

 private:
  std::string text_;
  std::string placeholder_;
  Font font_ = Font::systemFont(14);
};

}  // namespace qvad
