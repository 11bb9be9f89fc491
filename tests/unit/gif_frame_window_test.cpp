// The frame window: frames made ahead on the global queue match the whole-file
// decode, in any order of asking, within a bounded number of held frames.
#include <gtest/gtest.h>

#include "support/gif_writer.h"
#include "ui/gif/gif_decoder.h"
#include "ui/gif/gif_frame_window.h"
#include "ui/gif/gif_scale.h"

namespace qvad {
namespace {

struct Loaded {
  std::shared_ptr<const std::string> bytes;
  std::shared_ptr<const GifInfo> info;
  DecodedGif whole;
};

Loaded load(std::string gif) {
  Loaded l;
  l.bytes = std::make_shared<const std::string>(std::move(gif));
  std::string error;
  auto d = decodeGif(*l.bytes, &error);
  EXPECT_TRUE(d) << error;
  l.whole = *d;
  l.info = std::make_shared<const GifInfo>(d->info);
  return l;
}

// Frames that build on each other: each adds a pixel, some clear or restore.
std::string layeredGif(int frames) {
  testing::GifWriterSpec s;
  s.width = frames;
  s.height = 2;
  s.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  for (int i = 0; i < frames; ++i) {
    auto f = testing::solidFrame(i, i % 2, 1, 1, std::uint8_t(i % 4));
    f.disposal = i % 5 == 3 ? 3 : (i % 7 == 4 ? 2 : 1);
    s.frames.push_back(f);
  }
  return testing::writeGif(s);
}

TEST(GifFrameWindow, FramesMatchTheWholeDecodeInAnyOrder) {
  auto l = load(layeredGif(20));
  auto window = GifFrameWindow::make(l.bytes, l.info, 3);
  ASSERT_EQ(window->frameCount(), 20u);
  // Forward, across the loop's end, then backwards and jumping about.
  for (std::size_t i : {0, 1, 2, 3, 10, 18, 19, 0, 1, 15, 5, 4, 12, 2}) {
    SCOPED_TRACE(i);
    auto image = window->waitForFrame(i, 30);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixels(), l.whole.frames[i]->pixels());
    EXPECT_LE(window->heldFrames(), 4u);  // the window plus the frame on screen
  }
}

TEST(GifFrameWindow, ShowsTheNewestReadyFrameUntilTheWantedOneIsMade) {
  auto l = load(layeredGif(12));
  auto window = GifFrameWindow::make(l.bytes, l.info, 2);
  ASSERT_NE(window->waitForFrame(0, 30), nullptr);
  ASSERT_NE(window->waitForFrame(1, 30), nullptr);
  // Frames 1 and 2 are the window now (2 perhaps still in the making). Asking for frame
  // 8 gives the newest of them that is ready, at once: never nothing, never a frame
  // after 8.
  auto now = window->frameAt(8);
  ASSERT_NE(now, nullptr);
  EXPECT_TRUE(now->pixels() == l.whole.frames[1]->pixels() || now->pixels() == l.whole.frames[2]->pixels());
  EXPECT_EQ(window->waitForFrame(8, 30)->pixels(), l.whole.frames[8]->pixels());
  EXPECT_EQ(window->frameAt(8)->pixels(), l.whole.frames[8]->pixels());
  // Frame 8 was shown late once, however often it was asked for meanwhile; nothing was
  // late before it (frame 0 had nothing older to stand in for it).
  EXPECT_EQ(window->lateFrames(), 1u);
  window->frameAt(8);
  EXPECT_EQ(window->lateFrames(), 1u);
}

TEST(GifFrameWindow, FramesFromADamagedOneOnShowTheLastGoodFrame) {
  auto shared = std::make_shared<const std::string>(
      testing::damageImageData(testing::writeGif(testing::solidFrames(8, 4)), 2));
  std::string error;
  auto info = scanGif(*shared, &error);
  ASSERT_TRUE(info) << error;
  auto window = GifFrameWindow::make(shared, std::make_shared<const GifInfo>(*info), 4);
  auto second = window->waitForFrame(1, 30);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(window->waitForFrame(3, 30), second);
  EXPECT_EQ(window->failedFrame(), std::optional<std::size_t>(2));
  EXPECT_EQ(window->frameAt(2), second);
  EXPECT_NE(window->waitForFrame(0, 30), nullptr);  // the loop goes on
}

TEST(GifFrameWindow, FramesAreMadeAtTheSizeTheyAreDrawnAt) {
  auto l = load(testing::makeBadgeGif(40, 12, 4));
  auto shrunk = [&](std::size_t i, int w, int h) {
    return shrinkArgb(l.whole.frames[i]->pixels().data(), 40, 40, w, h);
  };
  auto window = GifFrameWindow::make(l.bytes, l.info, 3, {10, 10});
  EXPECT_EQ(window->waitForFrame(0, 30)->pixels(), shrunk(0, 10, 10));
  // Drawn larger than the GIF: frames keep the GIF's size (the renderer scales them up).
  window->drawnAtPixelSize(80, 80);
  for (std::size_t i = 1; i < 12; ++i) ASSERT_NE(window->waitForFrame(i, 30), nullptr);
  auto image = window->waitForFrame(11, 30);
  EXPECT_EQ(image->pixelWidth(), 40);
  EXPECT_EQ(image->pixels(), l.whole.frames[11]->pixels());

  // A GIF whose frames all stay in the window makes them again at the new size; until
  // then the old ones stand in, never nothing.
  auto few = load(testing::makeBadgeGif(20, 3, 4));
  auto all = GifFrameWindow::make(few.bytes, few.info, 4);
  for (std::size_t i = 0; i < 3; ++i) ASSERT_EQ(all->waitForFrame(i, 30)->pixelWidth(), 20);
  all->drawnAtPixelSize(5, 4);
  ASSERT_NE(all->frameAt(1), nullptr);
  EXPECT_EQ(all->waitForFrame(1, 30)->pixels(), shrinkArgb(few.whole.frames[1]->pixels().data(), 20, 20, 5, 4));
  EXPECT_EQ(all->frameAt(1)->pixelWidth(), 5);
  EXPECT_EQ(all->lateFrames(), 0u);
}

}  // namespace
}  // namespace qvad
