// A horizontal bar that shows progress from 0 to 1.
#pragma once

#include <algorithm>

#include "platform/toolkit/view.h"

namespace qvad {

class ProgressView : public View {
 public:
  explicit ProgressView(Rect frame = {}) : View(frame) { setUserInteractionEnabled(false); }

  double progress() const { return progress_; }
  /// Clamped to 0 ... 1; NaN counts as 0.
  void setProgress(double p) { changeAppearance(progress_, p >= 0 ? std::min(p, 1.0) : 0); }
  Color progressTintColor() const { return tint_; }
  void setProgressTintColor(Color c) { changeAppearance(tint_, c); }
  Color trackTintColor() const { return track_; }
  void setTrackTintColor(Color c) { changeAppearance(track_, c); }
  /// The track, then the filled part from the left, both with round ends.
  void draw(GraphicsContext& context, Rect rect) override {
    context.setFillColor(track_);
    context.addRoundedRect(rect, rect.height() / 2);
    context.fillPath();
    context.setFillColor(tint_);
    context.addRoundedRect({rect.x(), rect.y(), rect.width() * progress_, rect.height()}, rect.height() / 2);
    context.fillPath();
  }
  const char* className() const override { return "ProgressView"; }

 private:
  double progress_ = 0;
  Color tint_ = Color::rgb(0, 122, 255);
  Color track_ = Color::rgb(220, 220, 225);
};

}  // namespace qvad
