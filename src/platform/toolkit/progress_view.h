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
  void setProgress(double p) { progress_ = p >= 0 ? std::min(p, 1.0) : 0; }
  Color progressTintColor() const { return tint_; }
  void setProgressTintColor(Color c) { tint_ = c; }
  Color trackTintColor() const { return track_; }
  void setTrackTintColor(Color c) { track_ = c; }
  const char* className() const override { return "ProgressView"; }

 private:
  double progress_ = 0;
  Color tint_ = Color::rgb(0, 122, 255);
  Color track_ = Color::rgb(220, 220, 225);
};

}  // namespace qvad
