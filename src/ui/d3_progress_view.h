// A small progress drawing: a ring (circleProgress, the default) or a rounded bar
// (lineProgress) in white, sized for a 90 x 90 box. Main thread only.
#pragma once

#include <memory>

#include "platform/toolkit/label.h"
#include "platform/toolkit/view.h"
#include "ui/notice_type.h"

namespace qvad {

class D3ProgressView : public View {
 public:
  explicit D3ProgressView(Rect frame = {}) : View(frame) {}

  void draw(GraphicsContext& context, Rect rect) override;

  std::shared_ptr<Label> label;
  double progress = 0;  // 0 ... 1
  NoticeType type = NoticeType::circleProgress;
  const char* className() const override { return "D3ProgressView"; }

 private:
  void drawCircle(GraphicsContext& context);
  void drawLine(GraphicsContext& context);
};

}  // namespace qvad
