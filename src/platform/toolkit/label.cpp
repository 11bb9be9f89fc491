#include "platform/toolkit/label.h"

#include <limits>

#include "platform/render/text_layout.h"

namespace qvad {

Size Label::textSize(double maxWidth) const {
  if (!text_ || text_->empty()) return {};
  return measureText(*text_, font_, maxWidth, lines_);
}

void Label::draw(GraphicsContext& context, Rect rect) {
  if (!text_) return;
  context.setFillColor(textColor_);
  context.drawText(*text_, font_, alignment_, lines_, rect);
}

void Label::sizeToFit() {
  Size s = textSize(std::numeric_limits<double>::max());
  setFrame({frame().origin, s});
}

}  // namespace qvad
