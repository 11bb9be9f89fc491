// A key-frame animation of a view's layer contents: images shown at fractional key
// times of a duration, repeated. The renderer shows the frame due at the main queue's
// current time, so tests drive playback with the virtual clock.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/toolkit/image.h"

namespace qvad {

/// Key-frame values made on demand, for animations too large to hold decoded (an
/// animated image composited a few frames ahead on a worker). Main thread.
class KeyframeSource {
 public:
  virtual ~KeyframeSource() = default;
  virtual std::size_t frameCount() const = 0;
  /// The image of key frame `index`, or while that one is still being made the newest
  /// ready one before it; nullptr while none is ready.
  virtual std::shared_ptr<const Image> frameAt(std::size_t index) = 0;
  /// The renderer drew the frames into `width` x `height` device pixels: a source may
  /// make its next frames at that size, so drawing them is a plain copy.
  virtual void drawnAtPixelSize(int /*width*/, int /*height*/) {}
};

struct KeyframeAnimation {
  std::string keyPath = "contents";  // the only animatable property
  std::vector<std::shared_ptr<const Image>> values;
  std::shared_ptr<KeyframeSource> source;  // when set, stands in for `values`
  std::vector<double> keyTimes;  // 0 ... 1, one per value; empty spreads the values evenly
  double duration = 0;           // seconds of one cycle
  double repeatCount = 1;        // cycles; a huge value repeats for ever
  bool removedOnCompletion = true;
  double beginTime = 0;          // main-queue time; set when the animation is added

  /// The value shown at main-queue time `now`: the last one whose key time has been
  /// reached in the current cycle. After the last cycle, the last value (or nothing
  /// when the animation is removed on completion).
  std::shared_ptr<const Image> valueAt(double now) const;
};

}  // namespace qvad
