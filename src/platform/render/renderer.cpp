#include "platform/render/renderer.h"

#include <algorithm>
#include <cmath>

#include "platform/main_queue.h"
#include "platform/render/cairo_graphics_context.h"
#include "platform/toolkit/text_field.h"
#include "platform/web_view.h"

namespace qvad {
namespace {

constexpr double kMaxPixels = 8192;

using render::CairoGraphicsContext;

Rect intersection(Rect a, Rect b) {
  double x0 = std::max(a.x(), b.x()), y0 = std::max(a.y(), b.y());
  double x1 = std::min(a.maxX(), b.maxX()), y1 = std::min(a.maxY(), b.maxY());
  if (!(x1 > x0 && y1 > y0)) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

// A page no engine shows: a light box with a cross (or the view's own stand-in) and
// the page's address, so screenshots tell where the page would be.
void drawWebViewPlaceholder(cairo_t* cr, WebView& view, CairoGraphicsContext& ctx) {
  Rect b = view.bounds();
  cairo_set_source_rgba(cr, 0.93, 0.93, 0.93, 1);
  cairo_rectangle(cr, 0, 0, b.width(), b.height());
  cairo_fill(cr);
  view.draw(ctx, b);
  std::string label = "Web page";
  if (auto url = view.url(); url && !url->empty()) label += "\n" + *url;
  ctx.setFillColor(Color::rgb(99, 99, 102));
  ctx.drawText(label, Font::systemFont(12), TextAlignment::center, 0, b.insetBy(8, 8));
}

class TreePainter {
  // The device pixels a `w` x `h` area at the origin of user space covers (the
  // transformation and the surface's device scale, as on a HiDPI window).
  Size devicePixels(double w, double h) const {
    double wx = w, wy = 0, hx = 0, hy = h;
    cairo_user_to_device_distance(cr_, &wx, &wy);
    cairo_user_to_device_distance(cr_, &hx, &hy);
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(cairo_get_group_target(cr_), &sx, &sy);
    return {std::hypot(wx, wy) * sx, std::hypot(hx, hy) * sy};
  }

 public:
  TreePainter(cairo_t* cr, const RenderOptions& options) : cr_(cr), options_(options), now_(MainQueue::main().now()) {}

  std::size_t paint(View& root) {
    Rect b = root.bounds();
    visit(root, true, {0, 0}, b);
    return pagesShown_;
  }

 private:
  bool drawing() const { return cr_ && (!options_.layer || *options_.layer == pagesShown_); }

  // `origin`: this view's origin in root coordinates; `clip`: the visible area there.
  void visit(View& v, bool isRoot, Point origin, Rect clip) {
    if (v.isHidden() || !(v.alpha() > 0)) return;
    Rect bounds = v.bounds();
    Rect frameInRoot{origin, bounds.size};
    if (v.clipsToBounds()) clip = intersection(clip, frameInRoot);

    if (cr_) {
      cairo_save(cr_);
      if (!isRoot) cairo_translate(cr_, v.frame().x(), v.frame().y());
    }
    bool group = cr_ && v.alpha() < 1;
    if (group) cairo_push_group(cr_);
    if (cr_ && v.clipsToBounds()) {
      CairoGraphicsContext::roundedRectPath(cr_, bounds, v.cornerRadius());
      cairo_clip(cr_);
    }

    NativePlacement place{frameInRoot, intersection(clip, frameInRoot), 0};
    auto* page = dynamic_cast<WebView*>(&v);
    bool shownNatively = false;
    if (page && options_.sink) {
      place.layerAbove = pagesShown_ + 1;
      shownNatively = options_.sink->placeWebView(*page, place);
    }
    if (!shownNatively) drawSelf(v, bounds, page, place);
    if (shownNatively) ++pagesShown_;

    for (const auto& s : v.subviewsInDrawingOrder()) {
      Point o{origin.x + s->frame().x(), origin.y + s->frame().y()};
      visit(*s, false, o, clip);
    }

    if (group) {
      cairo_pop_group_to_source(cr_);
      cairo_paint_with_alpha(cr_, v.alpha());
    }
    if (cr_) cairo_restore(cr_);
  }

  void drawSelf(View& v, Rect bounds, WebView* page, const NativePlacement& place) {
    auto* field = dynamic_cast<TextField*>(&v);
    bool editorShown = field && options_.sink && options_.sink->placeTextField(*field, place);
    if (!drawing()) return;
    if (auto bg = v.backgroundColor(); bg && bg->alpha > 0) {
      cairo_set_source_rgba(cr_, bg->red, bg->green, bg->blue, bg->alpha);
      CairoGraphicsContext::roundedRectPath(cr_, bounds, v.cornerRadius());
      cairo_fill(cr_);
    }
    auto contents = v.presentedContents(now_);
    if (contents) CairoGraphicsContext::paintImage(cr_, *contents, bounds);
    // What was drawn, and at how many device pixels: the window asks whether an
    // animation shows something new, and a frame source makes frames at that size.
    const Size pixels = devicePixels(bounds.width(), bounds.height());
    v.contentsDrawn(contents, int(std::lround(pixels.width)), int(std::lround(pixels.height)));
    if (editorShown) return;
    cairo_save(cr_);
    cairo_new_path(cr_);
    {
      CairoGraphicsContext ctx(cr_);
      if (page) {
        drawWebViewPlaceholder(cr_, *page, ctx);
      } else {
        v.draw(ctx, bounds);
      }
    }
    cairo_restore(cr_);
  }

  cairo_t* cr_;
  const RenderOptions& options_;
  double now_;
  std::size_t pagesShown_ = 0;
};

}  // namespace

std::size_t renderTree(const View& root, cairo_t* cr, const RenderOptions& options) {
  TreePainter painter(cr, options);
  return painter.paint(const_cast<View&>(root));
}

std::shared_ptr<Image> renderView(const View& root, double scale, const RenderOptions& options) {
  if (!(scale > 0)) scale = 1;
  double w = std::ceil(root.bounds().width() * scale), h = std::ceil(root.bounds().height() * scale);
  if (!(w >= 1 && h >= 1 && w <= kMaxPixels && h <= kMaxPixels)) return nullptr;
  int pw = static_cast<int>(w), ph = static_cast<int>(h);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  renderTree(root, cr, options);
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
