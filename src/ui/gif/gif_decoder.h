// GIF decoding for the GIF player, on giflib's record-by-record interface.
//
// Two steps, so the main thread only ever does the cheap one:
// - scanGif() walks the file's blocks once without decompressing pixels and lists the
//   frames: canvas size, each image's rectangle, disposal, transparency and delay.
// - GifCompositor decompresses and composites frames in order, as browsers do: the
//   canvas starts transparent, the last graphics control block before an image wins,
//   transparency applies only when its flag is set, disposal 2 clears the frame's
//   clipped rectangle, disposal 3 restores the canvas as it was before the frame, other
//   values keep it; colour indices outside the table leave the pixel untouched.
// Both are pure over an in-memory file and safe on any thread (one object per thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/toolkit/image.h"

struct GifFileType;

namespace qvad {

/// giflib reads the in-memory file through this cursor.
struct GifMemoryInput {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
};

/// giflib's input function over a GifMemoryInput (the `UserData` of DGifOpen).
int readGifMemoryInput(GifFileType* gif, unsigned char* out, int wanted);

/// The widest and tallest image a drawing surface holds (cairo's image surfaces stop at
/// 32,767 pixels a side): a canvas past it decodes but could never be drawn.
inline constexpr int kMaxDrawableGifSide = 32767;

/// Bounds for what an ad badge may cost; a file over any of them is undecodable.
struct GifLimits {
  int maxSide = kMaxDrawableGifSide;                // width and height each
  std::size_t maxFileBytes = 8u << 20;              // the download cap
  std::uint64_t maxCanvasPixels = 2048u * 2048u;    // 16 MiB per composited frame
  std::size_t maxFrames = 1000;
  // Work of one animation cycle: every frame's composited canvas (4 bytes a pixel)
  // plus every image's decompressed indices (1 byte a pixel, as declared).
  std::uint64_t maxDecodedBytes = 256ull << 20;
};

/// One image of the file and the graphics control block that applies to it.
struct GifFrameInfo {
  int left = 0, top = 0, width = 0, height = 0;  // as declared, before clipping
  bool interlaced = false;
  int disposal = 0;           // 0 ... 7; only 2 and 3 change the canvas afterwards
  int transparentIndex = -1;  // -1: no transparency flag
  double unclampedDelay = 0;  // stored delay in seconds (U)
  double clampedDelay = 0;    // 0.1 s when U <= 0.01 s, else U (D)
  double delay = 0;           // what plays: U, or D when U is 0
};

struct GifInfo {
  int width = 0;   // canvas
  int height = 0;
  std::vector<GifFrameInfo> frames;
};

/// The delay rule: U, or when U is 0 the clamped delay (0.1 s for U <= 0.01 s).
double clampedGifDelay(double unclampedSeconds);

/// Lists the frames without decompressing them. A truncated last image is dropped,
/// a missing trailer is accepted. Nothing (and `error` set) when the file is not a GIF,
/// has no image, an empty canvas, or exceeds `limits`.
std::optional<GifInfo> scanGif(std::string_view bytes, std::string* error = nullptr, const GifLimits& limits = {});

/// Composites the frames of a scanned file in order. Frame i's image is the canvas
/// after drawing image i. A frame whose data cannot be decompressed ends the
/// sequence: failed() turns true and the frames before it are all there is.
class GifCompositor {
 public:
  /// `bytes` must be the file `info` was scanned from.
  GifCompositor(std::shared_ptr<const std::string> bytes, std::shared_ptr<const GifInfo> info);
  ~GifCompositor();
  GifCompositor(const GifCompositor&) = delete;
  GifCompositor& operator=(const GifCompositor&) = delete;

  /// Index of the frame next() makes; frameCount() at the end.
  std::size_t nextIndex() const { return next_; }
  std::size_t frameCount() const { return info_->frames.size(); }
  /// Decodes and composites the next frame; false at the end or on a decoding error.
  bool next();
  /// Back to a transparent canvas before frame 0.
  void restart();
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  /// The canvas: premultiplied ARGB32, row by row, width x height (empty before the
  /// first next()).
  const std::vector<std::uint32_t>& canvas() const { return canvas_; }
  std::shared_ptr<const Image> snapshot() const;
  /// The canvas shrunk to `width` x `height` pixels (each side at most the canvas's; a
  /// larger one is the canvas's), for a frame drawn smaller than the GIF.
  std::shared_ptr<const Image> snapshot(int width, int height) const;

 private:
  bool open();
  void close();
  bool drawImage(const GifFrameInfo& f);
  bool fail(std::string message);

  std::shared_ptr<const std::string> bytes_;
  std::shared_ptr<const GifInfo> info_;
  GifMemoryInput reader_;
  GifFileType* gif_ = nullptr;
  std::size_t next_ = 0;
  bool failed_ = false;
  std::string error_;
  std::vector<std::uint32_t> canvas_;
  std::vector<std::uint32_t> saved_;  // the canvas before a frame with disposal 3
  std::vector<unsigned char> line_;
};

/// A whole file decoded at once (tools, tests, validation): `frames` holds one image
/// per frame that decoded, in order (fewer than info.frames when decoding stopped).
struct DecodedGif {
  GifInfo info;
  std::vector<std::shared_ptr<const Image>> frames;  // empty unless images are kept
  std::size_t decodedFrames = 0;
  std::string error;  // why decoding stopped early, if it did
};
std::optional<DecodedGif> decodeGif(std::string_view bytes, std::string* error = nullptr,
                                    const GifLimits& limits = {}, bool keepImages = true);

}  // namespace qvad
