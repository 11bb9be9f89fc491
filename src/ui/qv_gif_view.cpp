#include "ui/qv_gif_view.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "net/text_utils.h"
#include "platform/dispatch.h"
#include "platform/file_util.h"
#include "platform/http_session.h"
#include "platform/log.h"
#include "platform/main_queue.h"
#include "platform/toolkit/screen.h"
#include "qvad/configuration.h"

namespace qvad {
namespace {

constexpr const char* kAnimationKey = "KpGifView";

std::string numberText(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// A body is kept only when it is whole, came with a 2xx status and decodes; otherwise
// `refusal` says why, as the error the host gets.
std::shared_ptr<const GifInfo> acceptBody(const HttpResponse& r, PlatformError& refusal) {
  if (r.error) return refusal = *r.error, nullptr;
  if (r.statusCode < 200 || r.statusCode > 299) {
    refusal = urlError(URLError::badServerResponse, "The server did not send the GIF.",
                       "status " + std::to_string(r.statusCode));
    return nullptr;
  }
  std::string why = "no body";
  if (r.body) {
    GifLimits limits;
    limits.maxFileBytes = kMaxGifDownloadBytes;
    if (auto decoded = decodeGif(*r.body, &why, limits, /*keepImages=*/false))
      return std::make_shared<const GifInfo>(std::move(decoded->info));
  }
  refusal = urlError(URLError::cannotDecodeContentData, "The GIF cannot be shown.", why);
  return nullptr;
}

}  // namespace

std::string QvGIFView::cachePath(const std::string& url) { return qv_doc("KpGifView/" + qv_md5(url) + ".gif"); }

void QvGIFView::showGIFImageWithWebNetWorkUrl(const std::string& url, std::function<void()> complete, Failed failed) {
  const std::string path = cachePath(url);
  // The cache file is looked for, read and scanned on a worker: a badge of a few MB
  // costs the host's frame milliseconds otherwise, and even a stat may wait on a slow
  // disk. What it found comes back on the main queue; nothing usable means a download.
  std::weak_ptr<QvGIFView> weak = sharedAs<QvGIFView>();
  GlobalQueue::async([weak, url, path, complete = std::move(complete), failed = std::move(failed)]() mutable {
    std::shared_ptr<const std::string> bytes;
    std::shared_ptr<const GifInfo> info;
    std::string why;
    // A missing file is simply downloaded; `why` stays empty then. So is a symbolic
    // link where the cache file belongs: it is never followed (it could point anywhere),
    // and the atomic write replaces the link itself.
    std::optional<std::string> read = readRegularFileNoFollow(path, kMaxGifDownloadBytes).content;
    if (read) {
      GifLimits limits;
      limits.maxFileBytes = kMaxGifDownloadBytes;
      if (auto scanned = scanGif(*read, &why, limits)) {
        bytes = std::make_shared<const std::string>(std::move(*read));
        info = std::make_shared<const GifInfo>(std::move(*scanned));
      }
    }
    dispatchMain([weak, url, path, bytes, info, why, complete = std::move(complete), failed = std::move(failed)]() mutable {
      if (!info) {
        if (!why.empty()) logLine("QvGIFView: cached file unusable, downloading again: " + why);
        // Also for a view gone meanwhile: the body is still cached for the next badge.
        return download(weak, url, path, std::move(complete), std::move(failed));
      }
      auto self = weak.lock();
      if (!self) return;
      self->gifurl_ = "file://" + path;
      self->creatKeyFrame(bytes, info);
      if (complete) complete();
    });
  });
}

void QvGIFView::download(std::weak_ptr<QvGIFView> weak, const std::string& url, const std::string& path,
                         std::function<void()> complete, Failed failed) {
  HttpRequest request;
  request.url = url;
  request.maxBodyBytes = kMaxGifDownloadBytes;
  // The host's request time-out: a server that takes the request and never answers
  // costs the badge that long, not the session's default.
  request.timeoutSeconds = QvConfiguration::requestTimeout();
  HttpSession::shared()->dataTask(std::move(request), [weak, path, complete = std::move(complete),
                                                        failed = std::move(failed)](HttpResponse response) mutable {
    logLine(response.error ? "Optional(" + response.error->debugText() + ")" : "nil");
    // Checking and writing the body is disk and decoding work: a worker's job.
    GlobalQueue::async([weak, path, complete = std::move(complete), failed = std::move(failed),
                        response = std::move(response)]() mutable {
      PlatformError refusal;
      auto info = acceptBody(response, refusal);
      if (!info) {
        logLine("QvGIFView: body not kept: " + refusal.debugText());
        // Both closures go back to the main thread: they are the host's, and so is
        // where they are released.
        dispatchMain([weak, complete = std::move(complete), failed = std::move(failed), refusal = std::move(refusal)] {
          if (weak.lock() && failed) failed(refusal.code, "Optional(" + refusal.debugText() + ")");
        });
        return;
      }
      auto bytes = std::make_shared<const std::string>(std::move(*response.body));
      if (!writeFileAtomically(path, *bytes, 0644)) logLine("QvGIFView: cannot write " + path);
      dispatchMain([weak, path, bytes, info, complete = std::move(complete), failed = std::move(failed)] {
        auto self = weak.lock();
        if (!self) return;
        self->gifurl_ = "file://" + path;
        self->creatKeyFrame(bytes, info);
        if (complete) complete();
      });
    });
  });
}

void QvGIFView::creatKeyFrame(std::shared_ptr<const std::string> bytes, std::shared_ptr<const GifInfo> info) {
  imageSize_ = {double(info->width), double(info->height)};
  const float imageAspect = float(info->width) / float(info->height);
  for (const auto& f : info->frames) {
    imageArr_.push_back(f);
    logLine("{\n    DelayTime = " + numberText(f.clampedDelay) + ";\n    UnclampedDelayTime = " +
            numberText(f.unclampedDelay) + ";\n} " + numberText(f.delay));
    timeArr_.push_back(f.delay);
    totalTime_ += float(f.delay);
    // Every frame of a GIF has the canvas size, so only the first call changes the frame.
    if (imageAspect != float(frame().width() / frame().height())) fitScale(info->width, info->height);
  }
  // The first frames are made at the size the view will likely be drawn at (its points
  // at the screen's scale); the renderer's first draw corrects it where it differs.
  const double scale = Screen::main().scale();
  frames_ = GifFrameWindow::make(std::move(bytes), std::move(info), GifFrameWindow::kDefaultWindow,
                                 {int(std::lround(bounds().width() * scale)), int(std::lround(bounds().height() * scale))});
  showAnimation();
}

void QvGIFView::fitScale(double imageWitdh, double imageHeight) {
  const double r = imageWitdh / imageHeight;
  const Rect f = frame();
  const double v = f.width() / f.height();
  Size size = v < r ? Size{f.width(), f.width() / r} : Size{f.height() / (imageHeight / imageWitdh), f.height()};
  const Point centre = center();
  setFrame({f.origin, size});
  setCenter(centre);
}

std::vector<double> QvGIFView::keyTimes(const std::vector<double>& delays) {
  float total = 0;
  for (double d : delays) total += float(d);
  std::vector<double> out;
  float current = 0;
  for (double d : delays) {
    out.push_back(double(current / total));
    current += float(d);
  }
  return out;
}

void QvGIFView::showAnimation() {
  KeyframeAnimation a;
  a.keyPath = "contents";
  a.keyTimes = keyTimes(timeArr_);
  a.source = frames_;
  a.repeatCount = FLT_MAX;
  a.duration = totalTime_;
  a.removedOnCompletion = false;
  addAnimation(kAnimationKey, std::move(a));
}

}  // namespace qvad
