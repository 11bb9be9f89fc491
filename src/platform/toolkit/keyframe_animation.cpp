#include "platform/toolkit/keyframe_animation.h"

#include <algorithm>
#include <cmath>

namespace qvad {

std::shared_ptr<const Image> KeyframeAnimation::valueAt(double now) const {
  const std::size_t count = source ? source->frameCount() : values.size();
  if (count == 0) return nullptr;
  auto value = [&](std::size_t i) { return source ? source->frameAt(i) : values[i]; };
  if (!(duration > 0) || !std::isfinite(duration)) return value(0);
  double elapsed = std::max(0.0, now - beginTime);
  double cycles = elapsed / duration;
  if (cycles >= repeatCount) return removedOnCompletion ? nullptr : value(count - 1);
  double t = cycles - std::floor(cycles);
  std::size_t index = 0;
  for (std::size_t i = 0; i < count; ++i) {
    double key = i < keyTimes.size() ? keyTimes[i] : static_cast<double>(i) / count;
    if (key <= t) index = i;
  }
  return value(index);
}

}  // namespace qvad
