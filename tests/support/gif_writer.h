// Writes GIF files for tests and benchmarks with giflib's encoder: frames with their
// own rectangle, palette, transparency index, disposal, delay and interlacing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvad::testing {

struct GifWriterFrame {
  int left = 0, top = 0, width = 1, height = 1;
  std::vector<std::uint8_t> pixels;    // width x height colour indices, row by row as shown
  std::vector<std::uint32_t> palette;  // local table, 0xRRGGBB; empty: the global one
  int transparentIndex = -1;           // -1: no transparency flag
  int disposal = 0;
  int delayCs = 0;                     // hundredths of a second
  bool interlace = false;
  bool graphicsControl = true;         // false: no graphics control block at all
  int staleDelayCs = -1;               // >= 0: an earlier control block with this delay, overridden
};

struct GifWriterSpec {
  int width = 1, height = 1;
  std::vector<std::uint32_t> palette;  // global table, 0xRRGGBB; empty: none
  std::vector<GifWriterFrame> frames;
  bool loopForever = true;
};

/// The encoded file; aborts the test on an encoder error.
std::string writeGif(const GifWriterSpec& spec);

/// A frame covering (left, top, width, height) filled with one colour index.
GifWriterFrame solidFrame(int left, int top, int width, int height, std::uint8_t index, int delayCs = 10);

/// `count` full-canvas frames of `side` x `side` pixels, frame i in colour i % 4 of a
/// red, green, blue, white global table.
GifWriterSpec solidFrames(int side, int count);

/// `gif` with the first data block of image `index` (0: the first) overwritten by codes
/// past the LZW table's end, so that image cannot be decompressed. Images are found by
/// their separator byte: keep 0x2C out of the tables.
std::string damageImageData(std::string gif, std::size_t index);

/// An animated badge: `frames` full-canvas frames of `side` x `side` pixels whose
/// content moves, each with `delayCs`; about the detail of a real ad badge.
std::string makeBadgeGif(int side, int frames, int delayCs = 4);

}  // namespace qvad::testing
