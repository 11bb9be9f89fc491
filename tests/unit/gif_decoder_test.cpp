// The GIF scan and compositor on files the tests write with giflib's encoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/gif_writer.h"
#include "ui/gif/gif_decoder.h"
#include "ui/gif/gif_scale.h"

namespace qvad {
namespace {

using testing::GifWriterFrame;
using testing::GifWriterSpec;
using testing::solidFrame;
using testing::writeGif;

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
constexpr std::uint32_t kClear = 0;

std::uint32_t argb(std::uint32_t rgb) { return 0xFF000000u | rgb; }

// The ARGB pixel of a decoded frame.
std::uint32_t px(const Image& image, int x, int y) { return image.pixels()[std::size_t(y) * image.pixelWidth() + x]; }
// The first row of a decoded frame.
using Row = std::vector<std::uint32_t>;
Row row0(const Image& image) { return {image.pixels().begin(), image.pixels().begin() + image.pixelWidth()}; }

GifWriterSpec canvas(int w, int h) {
  GifWriterSpec s;
  s.width = w;
  s.height = h;
  s.palette = {kRed, kGreen, kBlue, kWhite};
  return s;
}

DecodedGif decode(const std::string& bytes, const GifLimits& limits = {}) {
  std::string error;
  auto d = decodeGif(bytes, &error, limits);
  EXPECT_TRUE(d) << error;
  return d ? *d : DecodedGif{};
}

TEST(GifCompositing, CanvasStartsTransparentAndFramesAreClippedToIt) {
  auto s = canvas(4, 4);
  // The second runs off the edges; the third lies wholly below the canvas.
  s.frames = {solidFrame(1, 1, 2, 2, 0), solidFrame(3, 3, 4, 4, 1), solidFrame(0, 9, 4, 4, 2),
              solidFrame(0, 0, 1, 1, 3)};
  auto d = decode(writeGif(s));
  ASSERT_EQ(d.frames.size(), 4u);
  EXPECT_EQ(d.frames[2]->pixels(), d.frames[1]->pixels());
  EXPECT_EQ(px(*d.frames[3], 0, 0), argb(kWhite));  // decoding goes on after skipped rows
  EXPECT_EQ(px(*d.frames[0], 0, 0), kClear);
  EXPECT_EQ(px(*d.frames[0], 1, 1), argb(kRed));
  EXPECT_EQ(px(*d.frames[0], 3, 3), kClear);
  EXPECT_EQ(px(*d.frames[1], 2, 2), argb(kRed));
  EXPECT_EQ(px(*d.frames[1], 3, 3), argb(kGreen));
  EXPECT_EQ(d.frames[1]->pixelWidth(), 4);
}

// No conformance case animates transparency: one frame's flag must not carry over.
TEST(GifCompositing, TransparencyOnlyWhenItsFlagIsSet) {
  auto s = canvas(2, 1);
  s.frames = {solidFrame(0, 0, 2, 1, 0), solidFrame(0, 0, 2, 1, 1), solidFrame(0, 0, 2, 1, 2)};
  s.frames[1].transparentIndex = 1;            // all of frame 1 is see-through
  s.frames[2].pixels = {2, 1};                 // index 1 is opaque green here: no flag
  auto d = decode(writeGif(s));
  ASSERT_EQ(d.frames.size(), 3u);
  EXPECT_EQ(row0(*d.frames[1]), (Row{argb(kRed), argb(kRed)}));
  EXPECT_EQ(row0(*d.frames[2]), (Row{argb(kBlue), argb(kGreen)}));
}

TEST(GifCompositing, DisposalClearsRestoresOrKeeps) {
  auto s = canvas(3, 1);
  s.frames = {solidFrame(0, 0, 3, 1, 0), solidFrame(1, 0, 5, 1, 1), solidFrame(0, 0, 1, 1, 2),
              solidFrame(2, 0, 1, 1, 3), solidFrame(0, 0, 1, 1, 1)};
  s.frames[1].disposal = 2;  // clear its rectangle, clipped to the canvas
  s.frames[2].disposal = 3;  // back to the canvas as it was before it
  s.frames[3].disposal = 5;  // an undefined value keeps the canvas
  auto d = decode(writeGif(s));
  ASSERT_EQ(d.frames.size(), 5u);
  EXPECT_EQ(row0(*d.frames[1]), (Row{argb(kRed), argb(kGreen), argb(kGreen)}));
  // Frame 2 drawn after frame 1's rectangle was cleared; frame 3 with frame 2's pixel
  // restored to red and its own white added; frame 4 on frame 3's kept canvas.
  EXPECT_EQ(row0(*d.frames[2]), (Row{argb(kBlue), kClear, kClear}));
  EXPECT_EQ(row0(*d.frames[3]), (Row{argb(kRed), kClear, argb(kWhite)}));
  EXPECT_EQ(row0(*d.frames[4]), (Row{argb(kGreen), kClear, argb(kWhite)}));
}

TEST(GifCompositing, FirstFrameRestoringPreviousGoesBackToTransparent) {
  auto s = canvas(1, 1);
  s.frames = {solidFrame(0, 0, 1, 1, 0), solidFrame(0, 0, 1, 1, 1)};
  s.frames[0].disposal = 3;
  s.frames[1].transparentIndex = 1;
  auto d = decode(writeGif(s));
  ASSERT_EQ(d.frames.size(), 2u);
  EXPECT_EQ(px(*d.frames[1], 0, 0), kClear);
}

TEST(GifCompositing, IndicesOutsideTheTableLeaveThePixelAlone) {
  auto s = canvas(3, 1);  // four colours, two-bit indices
  s.frames = {solidFrame(0, 0, 3, 1, 0), solidFrame(0, 0, 3, 1, 0)};
  s.frames[1].pixels = {1, 2, 3};
  std::string bytes = writeGif(s);
  // Shrink the global table to its first two colours: indices 2 and 3 now point past it.
  ASSERT_EQ(bytes[10] & 7, 1);
  bytes[10] = char(bytes[10] & ~7);
  bytes.erase(13 + 6, 6);
  auto d = decode(bytes);
  ASSERT_EQ(d.frames.size(), 2u);
  EXPECT_EQ(row0(*d.frames[1]), (Row{argb(kGreen), argb(kRed), argb(kRed)}));
}

TEST(GifScan, DelaysAndTheirControlBlocks) {
  auto s = canvas(1, 1);
  s.frames = {solidFrame(0, 0, 1, 1, 0, 0), solidFrame(0, 0, 1, 1, 0, 1), solidFrame(0, 0, 1, 1, 0, 25),
              solidFrame(0, 0, 1, 1, 0, 7), solidFrame(0, 0, 1, 1, 0, 30)};
  s.frames[3].graphicsControl = false;  // no block: the one before does not carry over
  s.frames[4].staleDelayCs = 90;        // two blocks before one image: the last wins
  std::string error;
  auto info = scanGif(writeGif(s), &error);
  ASSERT_TRUE(info) << error;
  ASSERT_EQ(info->frames.size(), 5u);
  EXPECT_DOUBLE_EQ(info->frames[0].unclampedDelay, 0);
  EXPECT_DOUBLE_EQ(info->frames[0].delay, 0.1);  // stored 0: the clamped delay
  EXPECT_DOUBLE_EQ(info->frames[1].delay, 0.01);  // stored, not 0: plays as stored
  EXPECT_DOUBLE_EQ(info->frames[1].clampedDelay, 0.1);
  EXPECT_DOUBLE_EQ(info->frames[2].delay, 0.25);
  EXPECT_DOUBLE_EQ(info->frames[3].delay, 0.1);
  EXPECT_EQ(info->frames[4].disposal, 0);
  EXPECT_DOUBLE_EQ(info->frames[4].delay, 0.3);
}

TEST(GifScan, TruncatedAndDamagedFiles) {
  const std::string whole = writeGif(testing::solidFrames(8, 3));
  std::string error;
  // No trailer: every image is still there.
  auto noTrailer = scanGif(whole.substr(0, whole.size() - 1), &error);
  ASSERT_TRUE(noTrailer) << error;
  EXPECT_EQ(noTrailer->frames.size(), 3u);
  // Cut inside the last image: it is dropped, the others play.
  auto cut = scanGif(whole.substr(0, whole.size() - 4), &error);
  ASSERT_TRUE(cut) << error;
  EXPECT_EQ(cut->frames.size(), 2u);
  // Not a GIF, cut inside the header, an empty canvas, no image at all.
  EXPECT_FALSE(scanGif("<html>Not found</html>", &error));
  EXPECT_FALSE(scanGif(whole.substr(0, 9), &error));
  EXPECT_FALSE(scanGif(writeGif(canvas(0, 4)), &error));
  EXPECT_EQ(error, "empty canvas");
  EXPECT_FALSE(scanGif(writeGif(canvas(4, 4)), &error));
  EXPECT_EQ(error, "no image in the file");
}

TEST(GifScan, DamagedImageDataEndsTheSequenceAtThatFrame) {
  auto d = decode(testing::damageImageData(writeGif(testing::solidFrames(8, 3)), 1));
  EXPECT_EQ(d.info.frames.size(), 3u);  // the scan does not decompress
  EXPECT_EQ(d.decodedFrames, 1u);
  EXPECT_FALSE(d.error.empty());
}

TEST(GifScan, LimitsMakeAFileUndecodable) {
  const std::string bytes = writeGif(testing::solidFrames(64, 4));
  std::string error;
  for (const auto& [limits, expected] : std::vector<std::pair<GifLimits, std::string>>{
           {{.maxCanvasPixels = 64 * 63}, "canvas larger than the limit"},
           {{.maxFrames = 3}, "more frames than the limit"},
           {{.maxDecodedBytes = 4 * (64 * 64 * 5) - 1}, "decoded size larger than the limit"}}) {
    EXPECT_FALSE(scanGif(bytes, &error, limits));
    EXPECT_EQ(error, expected);
  }
  EXPECT_FALSE(scanGif(bytes, &error, {.maxFileBytes = bytes.size() - 1}));
  EXPECT_TRUE(scanGif(bytes, &error, {})) << error;
}

TEST(GifScan, ACanvasNoSurfaceCanHoldIsRefusedWhateverItsPixelCount) {
  // 65,535 x 1 is a few kilobytes of pixels, yet no image surface is that wide.
  std::string error;
  for (auto [w, h] : {std::pair{65535, 1}, {kMaxDrawableGifSide + 1, 1}, {1, kMaxDrawableGifSide + 1}}) {
    GifWriterSpec s = canvas(w, h);
    s.frames = {solidFrame(0, 0, 1, 1, 0)};
    EXPECT_FALSE(decodeGif(writeGif(s), &error)) << w << "x" << h;
    EXPECT_NE(error.find("wider or taller than the 32767 pixels"), std::string::npos) << error;
  }
  GifWriterSpec widest = canvas(kMaxDrawableGifSide, 1);
  widest.frames = {solidFrame(0, 0, kMaxDrawableGifSide, 1, 2)};
  auto d = decodeGif(writeGif(widest), &error);
  ASSERT_TRUE(d) << error;
  EXPECT_EQ(d->frames.at(0)->pixelWidth(), kMaxDrawableGifSide);
}

TEST(GifScale, EachPixelIsTheMeanOfTheAreaItCovers) {
  // 4x2 to 2x1: two 2x2 blocks, premultiplied channels averaged (half-covered alpha too).
  const std::vector<std::uint32_t> src = {0xFF000000, 0xFF0000FF, 0x00000000, 0x80808080,
                                          0xFF0000FF, 0xFF000000, 0x00000000, 0x80808080};
  EXPECT_EQ(shrinkArgb(src.data(), 4, 2, 2, 1), (Row{0xFF000080, 0x40404040}));
  // 3 to 2 shares the middle pixel half and half; a flat area stays exactly its colour.
  const std::vector<std::uint32_t> line = {0xFF000000, 0xFF0000FF, 0xFF0000FF};
  EXPECT_EQ(shrinkArgb(line.data(), 3, 1, 2, 1), (Row{0xFF000055, 0xFF0000FF}));
  const std::vector<std::uint32_t> flat(7 * 5, 0xFF123456);
  EXPECT_EQ(shrinkArgb(flat.data(), 7, 5, 3, 2), Row(6, 0xFF123456));
  // Nothing grows: a larger size is the source's own.
  EXPECT_EQ(shrinkArgb(line.data(), 3, 1, 5, 4), line);
}

}  // namespace
}  // namespace qvad
