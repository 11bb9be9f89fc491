#include "ui/gif/gif_frame_window.h"

#include <algorithm>
#include <chrono>

#include "platform/dispatch.h"

namespace qvad {

std::shared_ptr<GifFrameWindow> GifFrameWindow::make(std::shared_ptr<const std::string> bytes,
                                                     std::shared_ptr<const GifInfo> info, std::size_t window,
                                                     std::pair<int, int> pixelSize) {
  auto w = std::make_shared<GifFrameWindow>(std::move(bytes), std::move(info), window);
  if (pixelSize.first > 0 && pixelSize.second > 0) w->drawnAtPixelSize(pixelSize.first, pixelSize.second);
  std::lock_guard lock(w->mu_);
  w->scheduleLocked();
  return w;
}

GifFrameWindow::GifFrameWindow(std::shared_ptr<const std::string> bytes, std::shared_ptr<const GifInfo> info,
                               std::size_t window)
    : info_(info),
      window_(window == 0 ? 1 : window),
      compositor_(std::move(bytes), std::move(info)),
      targetWidth_(info_->width),
      targetHeight_(info_->height) {}

void GifFrameWindow::drawnAtPixelSize(int width, int height) {
  std::lock_guard lock(mu_);
  const int w = std::clamp(width, 1, info_->width), h = std::clamp(height, 1, info_->height);
  if (w == targetWidth_ && h == targetHeight_) return;
  targetWidth_ = w;
  targetHeight_ = h;
  // Frames of the old size go as the window moves on. A GIF whose frames all fit in the
  // window never moves them on: those are made again now (at most a window's worth).
  if (frameCount() <= window_) scheduleLocked();
}

std::shared_ptr<const Image> GifFrameWindow::madeLocked(std::size_t index) const {
  auto it = ready_.find(index);
  if (it == ready_.end()) return nullptr;
  const Image& image = *it->second;
  const bool atTarget = image.pixelWidth() == targetWidth_ && image.pixelHeight() == targetHeight_;
  return atTarget || frameCount() > window_ ? it->second : nullptr;
}

std::size_t GifFrameWindow::shownIndexLocked(std::size_t index) const {
  // After a decoding error at frame f, the frames from f on show frame f - 1.
  if (failedAt_ && index >= *failedAt_ && *failedAt_ > 0) return *failedAt_ - 1;
  return index;
}

bool GifFrameWindow::wantedLocked(std::size_t index) const {
  const std::size_t n = frameCount();
  for (std::size_t k = 0; k < window_ && k < n; ++k)
    if (shownIndexLocked((want_ + k) % n) == index) return true;
  return false;
}

std::optional<std::size_t> GifFrameWindow::missingLocked() const {
  const std::size_t n = frameCount();
  if (failedAt_ == std::size_t{0}) return std::nullopt;  // nothing decodes
  for (std::size_t k = 0; k < window_ && k < n; ++k) {
    std::size_t i = shownIndexLocked((want_ + k) % n);
    if (!madeLocked(i)) return i;
  }
  return std::nullopt;
}

void GifFrameWindow::evictLocked() {
  for (auto it = ready_.begin(); it != ready_.end();) it = wantedLocked(it->first) ? std::next(it) : ready_.erase(it);
}

void GifFrameWindow::scheduleLocked() {
  if (producing_ || !missingLocked()) return;
  producing_ = true;
  GlobalQueue::async([self = shared_from_this()] { self->produce(); });
}

std::shared_ptr<const Image> GifFrameWindow::frameAt(std::size_t index) {
  std::lock_guard lock(mu_);
  const std::size_t n = frameCount();
  want_ = index % n;
  const std::size_t shown = shownIndexLocked(want_);
  std::shared_ptr<const Image> best;
  if (auto it = ready_.find(shown); it != ready_.end()) {
    best = it->second;
    lastLate_.reset();
  } else {
    // The newest ready frame before the wanted one, counting back around the loop.
    std::size_t bestDistance = n;
    for (const auto& [i, image] : ready_) {
      std::size_t d = (shown + n - i) % n;
      if (d < bestDistance) bestDistance = d, best = image;
    }
    if (!best) best = lastShown_;
    if (best && lastLate_ != shown) ++late_, lastLate_ = shown;
  }
  lastShown_ = best;
  evictLocked();
  scheduleLocked();
  return best;
}

void GifFrameWindow::produce() {
  std::unique_lock lock(mu_);
  for (;;) {
    auto target = missingLocked();
    if (!target) break;
    // Frames depend on the ones before: go forward from where the compositor is, or
    // start over when the target lies behind it.
    if (compositor_.nextIndex() > *target || compositor_.failed()) compositor_.restart();
    const std::size_t index = compositor_.nextIndex();
    const bool keep = wantedLocked(index);
    const int width = targetWidth_, height = targetHeight_;
    lock.unlock();
    const bool ok = compositor_.next();
    std::shared_ptr<const Image> image = ok && keep ? compositor_.snapshot(width, height) : nullptr;
    lock.lock();
    ++composited_;
    if (!ok) {
      failedAt_ = index;
      evictLocked();
    } else if (image && wantedLocked(index)) {
      ready_[index] = std::move(image);
    }
    changed_.notify_all();
  }
  producing_ = false;
  changed_.notify_all();
}

std::shared_ptr<const Image> GifFrameWindow::waitForFrame(std::size_t index, double timeoutSeconds) {
  std::unique_lock lock(mu_);
  want_ = index % frameCount();
  evictLocked();
  scheduleLocked();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  std::shared_ptr<const Image> found;
  changed_.wait_until(lock, deadline, [&] {
    if (failedAt_ == std::size_t{0}) return true;
    found = madeLocked(shownIndexLocked(want_));
    if (!found) scheduleLocked();  // the window may have moved on while we waited
    return found != nullptr;
  });
  return found;
}

std::size_t GifFrameWindow::heldFrames() const {
  std::lock_guard lock(mu_);
  return ready_.size() + (lastShown_ && !ready_.count(want_) ? 1 : 0);
}

std::size_t GifFrameWindow::compositedFrames() const {
  std::lock_guard lock(mu_);
  return composited_;
}

std::size_t GifFrameWindow::lateFrames() const {
  std::lock_guard lock(mu_);
  return late_;
}

std::optional<std::size_t> GifFrameWindow::failedFrame() const {
  std::lock_guard lock(mu_);
  return failedAt_;
}

}  // namespace qvad
