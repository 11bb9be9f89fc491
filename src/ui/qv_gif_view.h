// QvGIFView: a plain view that plays an animated GIF fetched from a web URL. It keeps
// the file in the documents directory (named by the MD5 of the URL), fits itself to
// the image's aspect ratio inside its frame, keeping the centre, and plays the frames
// for ever as a key-frame contents animation of its layer under "KpGifView".
//
// Threads: call it on the main thread; `complete` runs there, always later on the main
// queue. Looking for the cache file, reading and scanning it, downloading, checking the
// body, writing the cache and compositing frames (at the size they are drawn at) run on
// workers (GifFrameWindow).
//
// Cache rule: only a complete 2xx body that decodes as a GIF is written. Any other body
// is dropped: nothing is written, `complete` is not called (the badge stays hidden),
// `failed` hears why, and the next load downloads again. A cached file that no longer
// scans, or that is not a regular file (a symbolic link), counts as missing.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/http_session.h"
#include "platform/toolkit/view.h"
#include "ui/gif/gif_decoder.h"
#include "ui/gif/gif_frame_window.h"

namespace qvad {

/// Download cap of a GIF body: the HTTP session's cap for ad assets.
inline constexpr std::size_t kMaxGifDownloadBytes = kMaxAssetDownloadBytes;

class QvGIFView : public View {
 public:
  explicit QvGIFView(Rect frame = {}) : View(frame) {}

  /// Why a load gave up: a URL-loading code (the transport's own, badServerResponse for
  /// a status other than 2xx, cannotDecodeContentData for a body that is no drawable GIF)
  /// and "Optional(<debug text>)", as transport failures reach hosts elsewhere.
  using Failed = std::function<void(long code, std::string description)>;

  /// Plays the GIF at `url`, from the cache file or else after a download; `complete`
  /// runs on the main queue once everything below is set and the animation is set up.
  /// When the download fails or the body is refused, `failed` runs on the main queue
  /// instead (never both). Nothing runs when the view is gone by then.
  void showGIFImageWithWebNetWorkUrl(const std::string& url, std::function<void()> complete = nullptr,
                                     Failed failed = nullptr);

  /// The cache file of `url`: the documents directory + MD5 hex of the URL + ".gif".
  static std::string cachePath(const std::string& url);

  /// Aspect fit of a `w` x `h` image inside the current frame, keeping the centre.
  void fitScale(double imageWitdh, double imageHeight);

  // What the load set; frames are listed, their pixels are made on demand.
  const std::optional<std::string>& gifurl() const { return gifurl_; }
  const std::vector<GifFrameInfo>& imageArr() const { return imageArr_; }
  const std::vector<double>& timeArr() const { return timeArr_; }
  float totalTime() const { return totalTime_; }
  /// The GIF's canvas size in pixels (zero before a load).
  Size imageSize() const { return imageSize_; }
  /// The composited frames the animation draws from (null before a load).
  const std::shared_ptr<GifFrameWindow>& frames() const { return frames_; }

  const char* className() const override { return "QvGIFView"; }

  /// Key times of the animation: the start of each frame over the total, in single
  /// precision, with no closing 1.
  static std::vector<double> keyTimes(const std::vector<double>& delays);

 private:
  static void download(std::weak_ptr<QvGIFView> weak, const std::string& url, const std::string& path,
                       std::function<void()> complete, Failed failed);
  void creatKeyFrame(std::shared_ptr<const std::string> bytes, std::shared_ptr<const GifInfo> info);
  void showAnimation();

  std::optional<std::string> gifurl_;
  std::vector<GifFrameInfo> imageArr_;
  std::vector<double> timeArr_;
  float totalTime_ = 0;
  Size imageSize_;
  std::shared_ptr<GifFrameWindow> frames_;
};

}  // namespace qvad
