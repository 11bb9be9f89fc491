// The Cairo renderer, checked at the pixels that matter rather than against a whole
// golden image (fonts change between systems). The toast and error-view tests also
// write screenshots to $QVAD_SCREENSHOT_DIR (default: the test temp directory).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include "platform/render/renderer.h"
#include "platform/toolkit/label.h"
#include "platform/toolkit/progress_view.h"
#include "support/toolkit_fixture.h"
#include "ui/d3_notice_manager.h"
#include "ui/d3_notice_view.h"
#include "ui/d3_progress_view.h"
#include "ui/net_setting_view.h"

// Fontconfig keeps its parsed configuration and font patterns for the life of the
// process and never frees them; the leak checker is told so, and nothing else.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace qvad {
namespace {

constexpr double kScale = 2;

Color at(const Image& img, double x, double y) {
  return img.pixel(static_cast<int>(x * img.scale()), static_cast<int>(y * img.scale()));
}

double brightness(const Color& c) { return (c.red + c.green + c.blue) / 3; }

void expectColor(const Color& actual, const Color& expected, double tolerance = 0.03) {
  EXPECT_NEAR(actual.red, expected.red, tolerance);
  EXPECT_NEAR(actual.green, expected.green, tolerance);
  EXPECT_NEAR(actual.blue, expected.blue, tolerance);
  EXPECT_NEAR(actual.alpha, expected.alpha, tolerance);
}

std::string screenshotPath(const std::string& name) {
  const char* env = std::getenv("QVAD_SCREENSHOT_DIR");
  std::filesystem::path dir = env && *env ? env : ::testing::TempDir();
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

// A view of one colour, added to `parent`.
std::shared_ptr<View> filled(View& parent, Rect frame, Color color) {
  auto v = View::make(frame);
  v->setBackgroundColor(color);
  parent.addSubview(v);
  return v;
}

/// A host screen: white, with a coloured header and some text.
std::shared_ptr<ViewController> hostController() {
  auto vc = std::make_shared<ViewController>();
  auto header = filled(*vc->view(), {0, 0, 375, 88}, Color::rgb(242, 242, 247));
  auto title = View::make<Label>(Rect{0, 44, 375, 44});
  title->setText("Host App");
  title->setFont(Font::boldSystemFont(17));
  title->setTextAlignment(TextAlignment::center);
  header->addSubview(title);
  auto text = View::make<Label>(Rect{20, 110, 335, 120});
  text->setText("Host application content. The library draws its notices and views over this screen.");
  text->setNumberOfLines(0);
  text->setFont(Font::systemFont(17));
  vc->view()->addSubview(text);
  return vc;
}

class RenderTest : public testing::ToolkitTest {};

TEST_F(RenderTest, ToastOverAControllerDrawsARoundedTranslucentBoxWithItsTextInside) {
  auto window = makeKeyWindow(hostController());
  D3NoticeManager::sharedInstance().showText("Network unavailable, please try again later", 2, true);
  std::shared_ptr<D3NoticeView> notice;
  for (const auto& v : D3NoticeManager::sharedInstance().notices()) {
    if (v->tag() == 891) notice = std::dynamic_pointer_cast<D3NoticeView>(v);
  }
  ASSERT_TRUE(notice);
  auto img = renderView(*window, kScale);
  ASSERT_TRUE(img);
  EXPECT_TRUE(img->writePng(screenshotPath("toast.png")));

  Rect box = notice->frame();
  Rect text = notice->label->frame();
  text.origin = {box.x() + text.x(), box.y() + text.y()};
  expectColor(at(*img, box.x() + 0.5, box.y() + 0.5), Color::white());  // outside the rounded corner
  expectColor(at(*img, box.x() + 6, box.midY()), {0.2, 0.2, 0.2, 1});  // black at 0.8 over white
  // White text is drawn inside the measured label and nowhere else in the box.
  int inside = 0, outside = 0;
  for (double y = box.y() + 1; y < box.maxY() - 1; y += 0.5) {
    for (double x = box.x() + 12; x < box.maxX() - 12; x += 0.5) {  // clear of the rounded corners
      bool light = brightness(at(*img, x, y)) > 0.5;
      bool inText = x >= text.x() - 1 && x <= text.maxX() + 1 && y >= text.y() - 1 && y <= text.maxY() + 1;
      (inText ? inside : outside) += light;
    }
  }
  EXPECT_GT(inside, 100);
  EXPECT_EQ(outside, 0);

  runFor(2.1);  // hidden views are not drawn
  auto after = renderView(*window, kScale);
  expectColor(at(*after, box.x() + 6, box.midY()), Color::white());
}

TEST_F(RenderTest, ErrorViewOverAControllerShowsPictureAndButtons) {
  auto vc = hostController();
  auto window = makeKeyWindow(vc);
  addNetSettingView(*vc, std::nullopt, nullptr, true, nullptr, nullptr);
  auto img = renderView(*window, kScale);
  ASSERT_TRUE(img);
  EXPECT_TRUE(img->writePng(screenshotPath("network_error.png")));

  expectColor(at(*img, 187.5, 293.5), Color::rgb(238, 242, 247), 0.02);  // the picture's disc
  expectColor(at(*img, 187.5, 517), Color::rgb(61, 126, 255), 0.02);     // the reload button
  expectColor(at(*img, 30, 500), Color::white());  // no background of its own
  double darkest = 1;  // the back chevron near the top-left corner
  for (double y = 56; y < 76; y += 0.5) {
    for (double x = 10; x < 34; x += 0.5) darkest = std::min(darkest, brightness(at(*img, x, y)));
  }
  EXPECT_LT(darkest, 0.4);
}

TEST_F(RenderTest, HiddenViewsSkippedZPositionHonouredChildrenClipped) {
  auto root = View::make(Rect{0, 0, 100, 100});
  root->setBackgroundColor(Color::white());
  filled(*root, {0, 0, 60, 60}, Color::rgb(255, 0, 0))->setZPosition(1);
  auto blue = filled(*root, {20, 20, 60, 60}, Color::rgb(0, 0, 255));
  blue->setClipsToBounds(true);
  filled(*blue, {50, 50, 100, 100}, Color::rgb(0, 255, 0));  // spills over blue's edges
  filled(*root, {0, 0, 100, 100}, Color::black())->setHidden(true);

  auto img = renderView(*root, 1);
  ASSERT_TRUE(img);
  expectColor(at(*img, 40, 40), Color::rgb(255, 0, 0));   // raised red over later blue
  expectColor(at(*img, 65, 65), Color::rgb(0, 0, 255));
  expectColor(at(*img, 75, 75), Color::rgb(0, 255, 0));   // inside blue
  expectColor(at(*img, 90, 90), Color::white());          // clipped away
  EXPECT_EQ(renderView(*View::make(), 1), nullptr);       // nothing to draw into
}

TEST_F(RenderTest, ProgressDrawingsRingAndBar) {
  auto ring = View::make<D3ProgressView>(Rect{0, 0, 90, 90});
  ring->setBackgroundColor(Color::black());
  ring->progress = 0.25;
  auto img = renderView(*ring, kScale);
  EXPECT_GT(brightness(at(*img, 45, 15)), 0.9);   // starts at the top
  EXPECT_GT(brightness(at(*img, 75, 45)), 0.9);   // a quarter turn clockwise
  EXPECT_LT(brightness(at(*img, 15, 45)), 0.1);
  EXPECT_LT(brightness(at(*img, 45, 75)), 0.1);
  ring->progress = std::numeric_limits<double>::quiet_NaN();  // drawn as empty, not broken
  EXPECT_LT(brightness(at(*renderView(*ring, kScale), 75, 45)), 0.1);

  auto line = View::make<D3ProgressView>(Rect{0, 0, 90, 90});
  line->setBackgroundColor(Color::black());
  line->type = NoticeType::lineProgress;
  line->label = View::make<Label>();
  line->progress = 0.5;
  img = renderView(*line, kScale);
  EXPECT_GT(brightness(at(*img, 20, 63)), 0.9);   // bar
  EXPECT_LT(brightness(at(*img, 70, 63)), 0.1);   // track left clear
  EXPECT_GT(brightness(at(*img, 45, 56)), 0.4);   // outline
  EXPECT_EQ(line->label->frame(), Rect(0, 0, 90, 75));
  line->progress = 0;  // the bar keeps a minimum width of two radii
  img = renderView(*line, kScale);
  EXPECT_GT(brightness(at(*img, 16, 63)), 0.9);
  EXPECT_LT(brightness(at(*img, 30, 63)), 0.1);
}

TEST_F(RenderTest, ProgressBarFillsByItsProgress) {
  auto bar = View::make<ProgressView>(Rect{0, 0, 100, 4});
  bar->setProgress(0.3);
  auto img = renderView(*bar, kScale);
  expectColor(at(*img, 10, 2), bar->progressTintColor());
  expectColor(at(*img, 90, 2), bar->trackTintColor());
}

TEST_F(RenderTest, ContentsAnimationShowsTheFrameDueOnTheMainLoopClock) {
  auto solid = [](std::uint32_t argb) { return std::make_shared<Image>(1, 1, 1, std::vector<std::uint32_t>{argb}); };
  auto view = View::make(Rect{0, 0, 4, 4});
  KeyframeAnimation a;
  a.values = {solid(0xffff0000), solid(0xff00ff00), solid(0xff0000ff)};
  a.keyTimes = {0, 0.25, 0.75};
  a.duration = 0.4;
  a.repeatCount = 3.4028235e38;
  a.removedOnCompletion = false;
  view->addAnimation("KpGifView", a);
  auto colourNow = [&] { return at(*renderView(*view, 1), 2, 2); };
  expectColor(colourNow(), Color::rgb(255, 0, 0));
  runFor(0.15);
  expectColor(colourNow(), Color::rgb(0, 255, 0));
  runFor(0.2);
  expectColor(colourNow(), Color::rgb(0, 0, 255));
  runFor(0.1);  // the next cycle
  expectColor(colourNow(), Color::rgb(255, 0, 0));
  view->removeAnimation("KpGifView");
  EXPECT_EQ(view->presentedContents(queue().now()), nullptr);

  // A frame source hears how many device pixels its frames cover, scale included.
  struct Source final : KeyframeSource {
    std::size_t frameCount() const override { return 2; }
    std::shared_ptr<const Image> frameAt(std::size_t) override { return frame; }
    void drawnAtPixelSize(int w, int h) override { drawn = {w, h}; }
    std::shared_ptr<const Image> frame = std::make_shared<Image>(1, 1, 1, std::vector<std::uint32_t>{0xff0000ff});
    std::pair<int, int> drawn;
  };
  auto source = std::make_shared<Source>();
  KeyframeAnimation made;
  made.source = source;
  made.duration = 1;
  auto tall = View::make(Rect{0, 0, 4, 6});
  tall->addAnimation("KpGifView", made);
  expectColor(at(*renderView(*tall, kScale), 2, 2), Color::rgb(0, 0, 255));
  EXPECT_EQ(source->drawn, std::make_pair(8, 12));
}

}  // namespace
}  // namespace qvad
