// Native views handed to the renderer's sink, the placeholder drawn when no backend
// shows a page, and the layers that keep what is painted after a page above it.
#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/scripted_web_view.h"
#include "platform/render/renderer.h"
#include "platform/toolkit/alert_controller.h"
#include "platform/toolkit/text_field.h"
#include "support/toolkit_fixture.h"

namespace qvad {
namespace {

Color at(const Image& img, double x, double y) { return img.pixel(static_cast<int>(x), static_cast<int>(y)); }

bool near(const Color& a, const Color& b) {
  return std::abs(a.red - b.red) < 0.03 && std::abs(a.green - b.green) < 0.03 && std::abs(a.blue - b.blue) < 0.03 &&
         std::abs(a.alpha - b.alpha) < 0.03;
}

// Shows every page natively and records what it was told.
struct RecordingSink : RenderSink {
  bool showPages = true;
  std::vector<std::pair<WebView*, NativePlacement>> pages;
  std::vector<std::pair<TextField*, NativePlacement>> fields;
  bool placeWebView(WebView& view, const NativePlacement& p) override {
    pages.emplace_back(&view, p);
    return showPages;
  }
  bool placeTextField(TextField& field, const NativePlacement& p) override {
    fields.emplace_back(&field, p);
    return true;
  }
};

std::shared_ptr<ScriptedWebView> page(Rect frame) { return View::make<ScriptedWebView>(frame, WebViewConfiguration{}); }

class RenderSinkTest : public testing::ToolkitTest {};

TEST_F(RenderSinkTest, SinkHearsEachVisiblePageInRootCoordinatesClippedByAncestors) {
  auto root = View::make(Rect{0, 0, 200, 200});
  auto box = View::make(Rect{50, 60, 100, 100});
  box->setClipsToBounds(true);
  root->addSubview(box);
  auto inner = page(Rect{10, 20, 200, 30});  // runs past the clipping box
  box->addSubview(inner);
  auto hidden = page(Rect{0, 0, 10, 10});
  hidden->setHidden(true);
  root->addSubview(hidden);
  auto top = page(Rect{0, 0, 40, 40});
  root->addSubview(top);

  RecordingSink sink;
  EXPECT_EQ(renderTree(*root, nullptr, {&sink, std::nullopt}), 2u);
  ASSERT_EQ(sink.pages.size(), 2u);
  EXPECT_EQ(sink.pages[0].first, inner.get());
  EXPECT_EQ(sink.pages[0].second.frame, Rect(60, 80, 200, 30));
  EXPECT_EQ(sink.pages[0].second.visible, Rect(60, 80, 90, 30));
  EXPECT_EQ(sink.pages[0].second.layerAbove, 1u);
  EXPECT_EQ(sink.pages[1].first, top.get());
  EXPECT_EQ(sink.pages[1].second.layerAbove, 2u);

  box->setClipsToBounds(false);
  box->setFrame({50, 60, 100, 5});  // visible now only through its own size
  sink.pages.clear();
  renderTree(*root, nullptr, {&sink, std::nullopt});
  EXPECT_EQ(sink.pages[0].second.visible, Rect(60, 80, 140, 30));  // the root still clips
}

TEST_F(RenderSinkTest, PageNoBackendShowsIsALabelledPlaceholder) {
  auto root = View::make(Rect{0, 0, 200, 100});
  root->setBackgroundColor(Color::white());
  auto web = page(Rect{0, 0, 200, 100});
  web->setURL("https://127.0.0.1/pages/reward.html");
  root->addSubview(web);
  auto img = renderView(*root, 1);
  ASSERT_TRUE(img);
  EXPECT_TRUE(near(at(*img, 4, 90), Color{0.93, 0.93, 0.93, 1}));  // the grey box, away from cross and text
  int dark = 0;  // the label: dark text across the middle
  for (int x = 20; x < 180; ++x) {
    for (int y = 30; y < 70; ++y) dark += at(*img, x, y).red < 0.6;
  }
  EXPECT_GT(dark, 80);

  RecordingSink declining;  // a sink that leaves the page to the renderer
  declining.showPages = false;
  auto same = renderView(*root, 1, {&declining, std::nullopt});
  EXPECT_EQ(same->pixels(), img->pixels());
  EXPECT_EQ(declining.pages.size(), 1u);

  RecordingSink showing;  // shown natively: nothing drawn where the page is
  auto shown = renderView(*root, 1, {&showing, std::nullopt});
  EXPECT_TRUE(near(at(*shown, 100, 50), Color::white()));
}

TEST_F(RenderSinkTest, WhatIsPaintedAfterAPageLandsInTheLayerAboveIt) {
  // A host screen, a page over it, and an alert with a text field presented over both.
  auto host = std::make_shared<ViewController>();
  auto window = makeKeyWindow(host);
  host->view()->setBackgroundColor(Color::rgb(0, 0, 255));
  auto web = page(Rect{0, 100, 375, 400});
  host->view()->addSubview(web);
  auto alert = std::make_shared<AlertController>("Title", "Message");
  alert->addTextField([](TextField& f) { f.setText("typed"); });
  alert->addAction({"OK", AlertActionStyle::defaultStyle, nullptr});
  host->present(alert, false);
  runUntilIdle();

  RecordingSink sink;
  auto below = renderView(*window, 1, {&sink, 0});
  auto above = renderView(*window, 1, {&sink, 1});
  ASSERT_TRUE(below && above);
  // Beneath the page: the host's blue, with no dimming from the alert.
  EXPECT_TRUE(near(at(*below, 5, 50), Color::rgb(0, 0, 255)));
  // Above it: only the alert; its dimming is translucent and the rest of the layer clear.
  Color dim = at(*above, 5, 300);
  EXPECT_NEAR(dim.alpha, 0.4, 0.03);
  Rect box = alert->actionButton(0)->superview()->frame();
  EXPECT_GT(at(*above, box.midX(), box.y() + 4).alpha, 0.99);
  EXPECT_EQ(at(*below, box.midX(), box.y() + 4), Color::rgb(0, 0, 255));
  // The text field was offered to the sink with its place in the window.
  ASSERT_FALSE(sink.fields.empty());
  EXPECT_EQ(sink.fields.back().first, alert->textFields()[0].get());
  EXPECT_EQ(sink.fields.back().second.frame.x(), box.x() + 16);
  host->dismiss(false);
}

}  // namespace
}  // namespace qvad
