#include "ui/label_size_to_fix.h"

#include "platform/render/text_layout.h"
#include "ui/screen_metrics.h"

namespace qvad {

void sizeToFix(Label& label) {
  Point origin = label.frame().origin;
  if (!label.text()) {
    label.setFrame({origin, Size{0, 0}});
    return;
  }
  Size s = measureText(*label.text(), label.font(), kScreenWidth() - 50, 0);
  label.setFrame({origin, s});
}

}  // namespace qvad
