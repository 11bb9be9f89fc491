#include "platform/render/renderer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/main_queue.h"
#include "platform/render/cairo_graphics_context.h"
#include "platform/render/pango_text.h"
#include "platform/toolkit/button.h"
#include "platform/toolkit/image_view.h"
#include "platform/toolkit/label.h"
#include "platform/toolkit/progress_view.h"

namespace qvad {
namespace {

constexpr double kMaxPixels = 8192;

void setColor(cairo_t* cr, const Color& c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

void roundedRectPath(cairo_t* cr, Rect r, double radius) {
  radius = std::min({radius, r.width() / 2, r.height() / 2});
  if (radius <= 0) {
    cairo_rectangle(cr, r.x(), r.y(), r.width(), r.height());
    return;
  }
  const double pi = std::numbers::pi;
  cairo_new_sub_path(cr);
  cairo_arc(cr, r.maxX() - radius, r.y() + radius, radius, -pi / 2, 0);
  cairo_arc(cr, r.maxX() - radius, r.maxY() - radius, radius, 0, pi / 2);
  cairo_arc(cr, r.x() + radius, r.maxY() - radius, radius, pi / 2, pi);
  cairo_arc(cr, r.x() + radius, r.y() + radius, radius, pi, 3 * pi / 2);
  cairo_close_path(cr);
}

void drawImage(cairo_t* cr, const Image& image, Rect into) {
  if (image.pixelWidth() <= 0 || image.pixelHeight() <= 0 || into.width() <= 0 || into.height() <= 0) return;
  // Cairo only reads the pixels of a source surface.
  auto* data = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.pixels().data()));
  cairo_surface_t* s = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, image.pixelWidth(),
                                                           image.pixelHeight(), image.pixelWidth() * 4);
  cairo_save(cr);
  cairo_translate(cr, into.x(), into.y());
  cairo_scale(cr, into.width() / image.pixelWidth(), into.height() / image.pixelHeight());
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  // Padded and clipped: a stretched image keeps solid edges instead of fading out.
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, 0, 0, image.pixelWidth(), image.pixelHeight());
  cairo_clip(cr);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(s);
}

void drawText(cairo_t* cr, const std::string& text, const Font& font, const Color& color, TextAlignment alignment,
              int lines, Rect bounds) {
  if (text.empty() || bounds.width() <= 0) return;
  PangoLayout* layout = render::makeLayout(cr, text, font, bounds.width(), lines, alignment);
  Size s = render::layoutSize(layout);
  cairo_save(cr);
  cairo_move_to(cr, bounds.x(), bounds.y() + (bounds.height() - s.height) / 2);  // centred vertically
  setColor(cr, color);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

void drawButton(cairo_t* cr, const Button& b) {
  Rect bounds = b.bounds();
  if (auto img = b.image(b.currentState())) {
    // Natural size, shrunk to fit when larger, centred.
    Size n = img->size();
    double f = std::min({1.0, n.width > 0 ? bounds.width() / n.width : 1.0, n.height > 0 ? bounds.height() / n.height : 1.0});
    Size s{n.width * f, n.height * f};
    drawImage(cr, *img, {(bounds.width() - s.width) / 2, (bounds.height() - s.height) / 2, s.width, s.height});
  }
  if (auto title = b.title(b.currentState())) {
    Color c = b.titleColor();
    if (!b.isEnabled()) c.alpha *= 0.4;
    drawText(cr, *title, b.font(), c, TextAlignment::center, 1, bounds);
  }
}

void drawProgress(cairo_t* cr, const ProgressView& p) {
  Rect b = p.bounds();
  setColor(cr, p.trackTintColor());
  roundedRectPath(cr, b, b.height() / 2);
  cairo_fill(cr);
  setColor(cr, p.progressTintColor());
  roundedRectPath(cr, {0, 0, b.width() * p.progress(), b.height()}, b.height() / 2);
  cairo_fill(cr);
}

void drawTree(cairo_t* cr, View& v, bool isRoot) {
  if (v.isHidden() || v.alpha() <= 0) return;
  Rect bounds = v.bounds();
  cairo_save(cr);
  if (!isRoot) cairo_translate(cr, v.frame().x(), v.frame().y());
  bool group = v.alpha() < 1;
  if (group) cairo_push_group(cr);

  if (v.clipsToBounds()) {
    roundedRectPath(cr, bounds, v.cornerRadius());
    cairo_clip(cr);
  }
  if (auto bg = v.backgroundColor(); bg && bg->alpha > 0) {
    setColor(cr, *bg);
    roundedRectPath(cr, bounds, v.cornerRadius());
    cairo_fill(cr);
  }
  if (auto contents = v.presentedContents(MainQueue::main().now())) drawImage(cr, *contents, bounds);

  if (auto* iv = dynamic_cast<ImageView*>(&v)) {
    if (auto img = iv->image()) drawImage(cr, *img, bounds);
  } else if (auto* b = dynamic_cast<Button*>(&v)) {
    drawButton(cr, *b);
  } else if (auto* l = dynamic_cast<Label*>(&v)) {
    if (l->text()) drawText(cr, *l->text(), l->font(), l->textColor(), l->textAlignment(), l->numberOfLines(), bounds);
  } else if (auto* p = dynamic_cast<ProgressView*>(&v)) {
    drawProgress(cr, *p);
  }
  {
    cairo_save(cr);
    cairo_new_path(cr);
    render::CairoGraphicsContext ctx(cr);
    v.draw(ctx, bounds);
    cairo_restore(cr);
  }
  for (const auto& s : v.subviewsInDrawingOrder()) drawTree(cr, *s, false);

  if (group) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, v.alpha());
  }
  cairo_restore(cr);
}

}  // namespace

std::shared_ptr<Image> renderView(const View& root, double scale) {
  if (!(scale > 0)) scale = 1;
  double w = std::ceil(root.bounds().width() * scale), h = std::ceil(root.bounds().height() * scale);
  if (!(w >= 1 && h >= 1 && w <= kMaxPixels && h <= kMaxPixels)) return nullptr;
  int pw = static_cast<int>(w), ph = static_cast<int>(h);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  drawTree(cr, const_cast<View&>(root), true);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  auto image = Image::fromArgb32(cairo_image_surface_get_data(surface), pw, ph, cairo_image_surface_get_stride(surface),
                                scale);
  cairo_surface_destroy(surface);
  return image;
}

bool renderViewToPng(const View& root, const std::string& path, double scale) {
  auto image = renderView(root, scale);
  return image && image->writePng(path);
}

}  // namespace qvad
