// A text view. Its natural size is measured by the renderer's text layout with the
// label's font, line count and a wrap width, so what is measured is what is drawn.
#pragma once

#include <optional>
#include <string>

#include "platform/toolkit/view.h"

namespace qvad {

class Label : public View {
 public:
  explicit Label(Rect frame = {}) : View(frame) { setUserInteractionEnabled(false); }

  const std::optional<std::string>& text() const { return text_; }
  void setText(std::optional<std::string> text) { changeAppearance(text_, std::move(text)); }
  Font font() const { return font_; }
  void setFont(Font f) { changeAppearance(font_, std::move(f)); }
  Color textColor() const { return textColor_; }
  void setTextColor(Color c) { changeAppearance(textColor_, c); }
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a) { changeAppearance(alignment_, a); }
  /// 0 means as many lines as the text needs.
  int numberOfLines() const { return lines_; }
  void setNumberOfLines(int n) { changeAppearance(lines_, n < 0 ? 0 : n); }

  /// Size of the text laid out no wider than `maxWidth` (unrounded); zero without text.
  Size textSize(double maxWidth) const;
  /// Resizes the label to its text on one line per paragraph, keeping its origin.
  void sizeToFit();
  void draw(GraphicsContext& context, Rect rect) override;
  const char* className() const override { return "Label"; }

 private:
  std::optional<std::string> text_;
  Font font_ = Font::systemFont(17);
  Color textColor_ = Color::black();
  TextAlignment alignment_ = TextAlignment::left;
  int lines_ = 1;
};

}  // namespace qvad
