// The frames of a playing GIF, composited a few ahead of the playhead on the global
// queue, so neither the main thread nor memory pays for the whole animation: a
// 400x400, 100-frame badge holds about five frames (3 MB), not 100 (64 MB).
//
// The main thread asks for the frame the animation's time selects (frameAt); it gets
// that frame when it is ready, else the newest ready one before it, and the worker is
// told to make the frames from there on. One compositing job runs at a time; it ends
// when the window ahead of the playhead is full. A frame that cannot be decoded ends
// the sequence: later indices show the last frame before it.
//
// Frames are made at the size they are drawn at (drawnAtPixelSize), never larger than
// the GIF: a 400x400 badge in a 100x100 view keeps and hands over 40 KB frames, and the
// renderer draws them without scaling. After a change of size the frames already made
// are shown (scaled) until the new ones replace them as the window moves on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/toolkit/keyframe_animation.h"
#include "ui/gif/gif_decoder.h"

namespace qvad {

class GifFrameWindow final : public KeyframeSource, public std::enable_shared_from_this<GifFrameWindow> {
 public:
  static constexpr std::size_t kDefaultWindow = 4;

  /// Starts compositing the first frames at once, at `pixelSize` (width, height; zero:
  /// the GIF's size) until told otherwise. `info` is the scan of `bytes`.
  static std::shared_ptr<GifFrameWindow> make(std::shared_ptr<const std::string> bytes,
                                              std::shared_ptr<const GifInfo> info,
                                              std::size_t window = kDefaultWindow,
                                              std::pair<int, int> pixelSize = {0, 0});

  std::size_t frameCount() const override { return info_->frames.size(); }
  /// Main thread (any thread is safe); never waits for the worker.
  std::shared_ptr<const Image> frameAt(std::size_t index) override;
  /// Frames from now on are made at this size (each side clamped to the GIF's).
  void drawnAtPixelSize(int width, int height) override;

  /// Waits until frame `index` (or the frame shown in its place after a decoding error)
  /// is made, up to `timeoutSeconds`; nullptr when none comes. For tools and tests:
  /// never on the main thread.
  std::shared_ptr<const Image> waitForFrame(std::size_t index, double timeoutSeconds);

  /// Frames held now, and frames composited since creation (for tests and figures).
  std::size_t heldFrames() const;
  std::size_t compositedFrames() const;
  /// Frames that were asked for while an older one had to stand in for them: each
  /// such index counts once per time it came due (for figures).
  std::size_t lateFrames() const;
  /// The first frame that failed to decode, if one did.
  std::optional<std::size_t> failedFrame() const;

  GifFrameWindow(std::shared_ptr<const std::string> bytes, std::shared_ptr<const GifInfo> info, std::size_t window);

 private:
  std::size_t shownIndexLocked(std::size_t index) const;
  bool wantedLocked(std::size_t index) const;
  /// Frame `index` when it is made: held, and at the target size where a change of
  /// size makes it again (see drawnAtPixelSize).
  std::shared_ptr<const Image> madeLocked(std::size_t index) const;
  std::optional<std::size_t> missingLocked() const;
  void evictLocked();
  void scheduleLocked();
  void produce();

  const std::shared_ptr<const GifInfo> info_;
  const std::size_t window_;
  GifCompositor compositor_;  // used only by the one running job

  mutable std::mutex mu_;
  std::condition_variable changed_;
  std::size_t want_ = 0;
  int targetWidth_, targetHeight_;  // the size frames are made at
  std::map<std::size_t, std::shared_ptr<const Image>> ready_;
  std::shared_ptr<const Image> lastShown_;
  std::optional<std::size_t> failedAt_;
  bool producing_ = false;
  std::size_t composited_ = 0;
  std::size_t late_ = 0;
  std::optional<std::size_t> lastLate_;
};

}  // namespace qvad
