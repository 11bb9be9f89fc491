#include "ui/gif/gif_decoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

#include "ui/gif/gif_scale.h"

namespace qvad {

int readGifMemoryInput(GifFileType* gif, unsigned char* out, int wanted) {
  auto* r = static_cast<GifMemoryInput*>(gif->UserData);
  if (wanted <= 0) return 0;
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(wanted), r->size - r->pos);
  std::memcpy(out, r->data + r->pos, n);
  r->pos += n;
  return static_cast<int>(n);
}

namespace {

std::string giflibError(int code) {
  const char* text = GifErrorString(code);
  return text ? text : "unknown giflib error";
}

struct GifCloser {
  void operator()(GifFileType* g) const {
    int err = 0;
    DGifCloseFile(g, &err);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// Skips the rest of an image's data sub-blocks; false when the file ends inside them.
bool skipCodeBlocks(GifFileType* gif, bool started) {
  GifByteType* block = nullptr;
  if (!started) {
    int codeSize = 0;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
  } else if (DGifGetCodeNext(gif, &block) == GIF_ERROR) {
    return false;
  }
  while (block) {
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Skips an extension, handing a graphics control block to `gcb`; false when truncated.
bool readExtension(GifFileType* gif, GraphicsControlBlock* gcb) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  if (gcb && code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
    // The block's first four bytes carry the fields; longer blocks are read the same.
    GraphicsControlBlock parsed;
    if (DGifExtensionToGCB(4, block + 1, &parsed) == GIF_OK) *gcb = parsed;
  }
  while (block) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

GraphicsControlBlock noGcb() {
  GraphicsControlBlock g;
  g.DisposalMode = DISPOSAL_UNSPECIFIED;
  g.UserInputFlag = false;
  g.DelayTime = 0;
  g.TransparentColor = NO_TRANSPARENT_COLOR;
  return g;
}

std::uint32_t opaque(const GifColorType& c) {
  return 0xFF000000u | (std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue;
}

}  // namespace

double clampedGifDelay(double unclampedSeconds) { return unclampedSeconds <= 0.01 ? 0.1 : unclampedSeconds; }

std::optional<GifInfo> scanGif(std::string_view bytes, std::string* error, const GifLimits& limits) {
  auto failWith = [&](std::string message) -> std::optional<GifInfo> {
    if (error) *error = std::move(message);
    return std::nullopt;
  };
  if (bytes.size() > limits.maxFileBytes) return failWith("file larger than the limit");
  GifMemoryInput reader{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0};
  int err = 0;
  GifHandle gif(DGifOpen(&reader, readGifMemoryInput, &err));
  if (!gif) return failWith("not a GIF: " + giflibError(err));

  GifInfo info;
  info.width = gif->SWidth;
  info.height = gif->SHeight;
  if (info.width <= 0 || info.height <= 0) return failWith("empty canvas");
  if (info.width > limits.maxSide || info.height > limits.maxSide)
    return failWith("canvas " + std::to_string(info.width) + "x" + std::to_string(info.height) +
                    " wider or taller than the " + std::to_string(limits.maxSide) + " pixels a drawing surface holds");
  const std::uint64_t canvasPixels = std::uint64_t(info.width) * std::uint64_t(info.height);
  if (canvasPixels > limits.maxCanvasPixels) return failWith("canvas larger than the limit");

  std::uint64_t decodedBytes = 0;
  GraphicsControlBlock gcb = noGcb();
  for (bool done = false; !done;) {
    GifRecordType type;
    // A file that ends or turns to garbage between records keeps the images before.
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) break;
    switch (type) {
      case IMAGE_DESC_RECORD_TYPE: {
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
          done = true;
          break;
        }
        const GifImageDesc& d = gif->Image;
        GifFrameInfo f;
        f.left = d.Left;
        f.top = d.Top;
        f.width = d.Width;
        f.height = d.Height;
        f.interlaced = d.Interlace;
        f.disposal = gcb.DisposalMode;
        f.transparentIndex = gcb.TransparentColor;
        f.unclampedDelay = gcb.DelayTime / 100.0;
        f.clampedDelay = clampedGifDelay(f.unclampedDelay);
        f.delay = f.unclampedDelay == 0 ? f.clampedDelay : f.unclampedDelay;
        gcb = noGcb();
        if (!skipCodeBlocks(gif.get(), false)) {  // truncated inside the image: dropped
          done = true;
          break;
        }
        if (info.frames.size() >= limits.maxFrames) return failWith("more frames than the limit");
        decodedBytes += canvasPixels * 4 + std::uint64_t(f.width) * std::uint64_t(f.height);
        if (decodedBytes > limits.maxDecodedBytes) return failWith("decoded size larger than the limit");
        info.frames.push_back(f);
        break;
      }
      case EXTENSION_RECORD_TYPE:
        if (!readExtension(gif.get(), &gcb)) done = true;
        break;
      case TERMINATE_RECORD_TYPE:
      default:
        done = true;
        break;
    }
  }
  if (info.frames.empty()) return failWith("no image in the file");
  return info;
}

GifCompositor::GifCompositor(std::shared_ptr<const std::string> bytes, std::shared_ptr<const GifInfo> info)
    : bytes_(std::move(bytes)), info_(std::move(info)) {}

GifCompositor::~GifCompositor() { close(); }

void GifCompositor::close() {
  if (gif_) {
    int err = 0;
    DGifCloseFile(gif_, &err);
    gif_ = nullptr;
  }
}

bool GifCompositor::open() {
  close();
  reader_ = {reinterpret_cast<const unsigned char*>(bytes_->data()), bytes_->size(), 0};
  int err = 0;
  gif_ = DGifOpen(&reader_, readGifMemoryInput, &err);
  if (!gif_) return fail("not a GIF: " + giflibError(err));
  return true;
}

void GifCompositor::restart() {
  close();
  next_ = 0;
  failed_ = false;
  error_.clear();
  std::fill(canvas_.begin(), canvas_.end(), 0u);
  saved_.clear();
}

bool GifCompositor::fail(std::string message) {
  failed_ = true;
  error_ = std::move(message);
  close();
  return false;
}

bool GifCompositor::next() {
  if (failed_ || next_ >= info_->frames.size()) return false;
  if (!gif_ && !open()) return false;
  const int W = info_->width, H = info_->height;
  // The canvas is made by the first frame, on the thread that composites: a 400x400
  // one is 640 KB of fresh pages, too much for the main thread that makes the object.
  if (canvas_.empty()) canvas_.assign(std::size_t(W) * std::size_t(H), 0u);
  if (next_ > 0) {
    // The previous frame's disposal, applied before this frame is drawn.
    const GifFrameInfo& prev = info_->frames[next_ - 1];
    if (prev.disposal == DISPOSE_BACKGROUND) {
      int x0 = std::max(0, prev.left), x1 = std::min(W, prev.left + prev.width);
      int y0 = std::max(0, prev.top), y1 = std::min(H, prev.top + prev.height);
      for (int y = y0; y < y1; ++y)
        if (x0 < x1) std::fill_n(&canvas_[std::size_t(y) * W + x0], x1 - x0, 0u);
    } else if (prev.disposal == DISPOSE_PREVIOUS && saved_.size() == canvas_.size()) {
      canvas_.swap(saved_);
    }
  }
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif_, &type) == GIF_ERROR) return fail("file ended before frame " + std::to_string(next_));
    if (type == EXTENSION_RECORD_TYPE) {
      if (!readExtension(gif_, nullptr)) return fail("file ended inside an extension");
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) return fail("file ended before frame " + std::to_string(next_));
    if (DGifGetImageDesc(gif_) == GIF_ERROR) return fail("bad image descriptor");
    break;
  }
  const GifFrameInfo& f = info_->frames[next_];
  if (f.disposal == DISPOSE_PREVIOUS) saved_ = canvas_;
  if (!drawImage(f)) return false;
  ++next_;
  return true;
}

bool GifCompositor::drawImage(const GifFrameInfo& f) {
  const int W = info_->width, H = info_->height;
  if (f.width <= 0 || f.height <= 0) {
    if (!skipCodeBlocks(gif_, false)) return fail("file ended inside frame " + std::to_string(next_));
    return true;
  }
  // Every index maps to an opaque colour, or to 0 for "leave the pixel alone" (the
  // transparent index, indices past the table): one look-up per pixel, and none of
  // those tests when no index is left alone.
  std::uint32_t palette[256] = {};
  int colours = 0;
  if (const ColorMapObject* map = gif_->Image.ColorMap ? gif_->Image.ColorMap : gif_->SColorMap) {
    colours = std::clamp(map->ColorCount, 0, 256);
    for (int i = 0; i < colours; ++i) palette[i] = opaque(map->Colors[i]);
  }
  if (f.transparentIndex >= 0 && f.transparentIndex < 256) palette[f.transparentIndex] = 0;
  const bool coversAll = colours == 256 && (f.transparentIndex < 0 || f.transparentIndex > 255);
  const int x0 = std::max(0, f.left), x1 = std::min(W, f.left + f.width);
  line_.resize(std::size_t(f.width));
  // Interlaced rows arrive in four passes: every 8th from 0, every 8th from 4, every
  // 4th from 2, every 2nd from 1.
  static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  int pass = 0, row = 0;
  for (int r = 0; r < f.height; ++r) {
    if (f.interlaced) {
      while (row >= f.height && pass < 3) row = kStart[++pass];
    } else {
      row = r;
    }
    const int y = f.top + row;
    // Rows below the canvas never show: stop decompressing and skip the rest.
    if (!f.interlaced && y >= H) {
      if (!skipCodeBlocks(gif_, true)) return fail("file ended inside frame " + std::to_string(next_));
      return true;
    }
    if (DGifGetLine(gif_, line_.data(), f.width) == GIF_ERROR) {
      // An end code before the last pixel leaves the rest untouched, as browsers show
      // such frames; broken data (a code outside the table, missing blocks) ends here.
      if (gif_->Error == D_GIF_ERR_EOF_TOO_SOON && skipCodeBlocks(gif_, true)) return true;
      return fail("frame " + std::to_string(next_) + " cannot be decoded: " + giflibError(gif_->Error));
    }
    if (y >= 0 && y < H && x0 < x1) {
      std::uint32_t* out = &canvas_[std::size_t(y) * W + x0];
      const unsigned char* in = line_.data() + (x0 - f.left);
      const int n = x1 - x0;
      if (coversAll) {
        int k = 0;
        for (; k + 4 <= n; k += 4) {  // four at a time: the loop's own cost was half of it
          const std::uint32_t a = palette[in[k]], b = palette[in[k + 1]];
          const std::uint32_t c = palette[in[k + 2]], d = palette[in[k + 3]];
          out[k] = a, out[k + 1] = b, out[k + 2] = c, out[k + 3] = d;
        }
        for (; k < n; ++k) out[k] = palette[in[k]];
      } else {
        for (int k = 0; k < n; ++k) {
          const std::uint32_t c = palette[in[k]];
          out[k] = c ? c : out[k];
        }
      }
    }
    if (f.interlaced) row += kStep[pass];
  }
  return true;
}

std::shared_ptr<const Image> GifCompositor::snapshot() const {
  return std::make_shared<Image>(info_->width, info_->height, 1.0, canvas_);
}

std::shared_ptr<const Image> GifCompositor::snapshot(int width, int height) const {
  const int W = info_->width, H = info_->height;
  width = std::clamp(width, 1, W);
  height = std::clamp(height, 1, H);
  if (width == W && height == H) return snapshot();
  return std::make_shared<Image>(width, height, 1.0, shrinkArgb(canvas_.data(), W, H, width, height));
}

std::optional<DecodedGif> decodeGif(std::string_view bytes, std::string* error, const GifLimits& limits,
                                    bool keepImages) {
  auto info = scanGif(bytes, error, limits);
  if (!info) return std::nullopt;
  DecodedGif out;
  out.info = *info;
  GifCompositor compositor(std::make_shared<const std::string>(bytes),
                           std::make_shared<const GifInfo>(std::move(*info)));
  while (compositor.next()) {
    ++out.decodedFrames;
    if (keepImages) out.frames.push_back(compositor.snapshot());
  }
  if (compositor.failed()) out.error = compositor.error();
  if (out.decodedFrames == 0) {
    if (error) *error = out.error.empty() ? "no frame decodes" : out.error;
    return std::nullopt;
  }
  return out;
}

}  // namespace qvad
