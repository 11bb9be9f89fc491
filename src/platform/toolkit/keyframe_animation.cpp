#include "platform/toolkit/keyframe_animation.h"

#include <algorithm>
#include <cmath>

namespace qvad {

std::shared_ptr<const Image> KeyframeAnimation::valueAt(double now) const {
  if (values.empty()) return nullptr;
  if (!(duration > 0) || !std::isfinite(duration)) return values.front();
  double elapsed = std::max(0.0, now - beginTime);
  double cycles = elapsed / duration;
  if (cycles >= repeatCount) return removedOnCompletion ? nullptr : values.back();
  double t = cycles - std::floor(cycles);
  std::size_t index = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    double key = i < keyTimes.size() ? keyTimes[i] : static_cast<double>(i) / values.size();
    if (key <= t) index = i;
  }
  return values[index];
}

}  // namespace qvad
