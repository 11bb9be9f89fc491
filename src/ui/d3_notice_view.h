// The text notice: a dark rounded box with white centred text, 25 points of margin
// left and right and 15 above and below the text. Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/toolkit/image_view.h"
#include "platform/toolkit/label.h"
#include "platform/toolkit/view.h"

namespace qvad {

class D3NoticeView : public View {
 public:
  /// A text notice, tagged NoticeType::onlyText, sized to `text` and placed at (0, 0).
  static std::shared_ptr<D3NoticeView> withText(const std::optional<std::string>& text);

  /// Replaces the text (none clears it) and resizes the box to it at (0, 0); the caller
  /// positions the box afterwards.
  void setTextContent(const std::optional<std::string>& text);

  std::shared_ptr<ImageView> checkmarkView;  // never set by the library
  std::shared_ptr<Label> label;
  const char* className() const override { return "D3NoticeView"; }
};

}  // namespace qvad
