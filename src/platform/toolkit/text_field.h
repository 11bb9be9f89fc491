// A one-line editable text: headless hosts and tests set the text directly.
#pragma once

#include <string>

#include "platform/toolkit/view.h"

namespace qvad {

class TextField : public View {
 public:
  explicit TextField(Rect frame = {}) : View(frame) {}

  const std::string& text() const { return text_; }
  void setText(std::string t) { text_ = std::move(t); }
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string p) { placeholder_ = std::move(p); }
  const char* className() const override { return "TextField"; }

 private:
  std::string text_;
  std::string placeholder_;
};

}  // namespace qvad
