#include "platform/render/cairo_graphics_context.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/render/pango_text.h"

namespace qvad::render {

void CairoGraphicsContext::saveState() {
  cairo_save(cr_);
  saved_.push_back({fill_, stroke_});
}

void CairoGraphicsContext::restoreState() {
  if (saved_.empty()) return;  // unbalanced restore: ignore rather than corrupt the stack
  cairo_restore(cr_);
  fill_ = saved_.back().fill;
  stroke_ = saved_.back().stroke;
  saved_.pop_back();
}

void CairoGraphicsContext::setShouldAntialias(bool on) {
  cairo_set_antialias(cr_, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void CairoGraphicsContext::setLineCap(LineCap cap) {
  switch (cap) {
    case LineCap::butt: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT); break;
    case LineCap::round: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND); break;
    case LineCap::square: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE); break;
  }
}

void CairoGraphicsContext::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  // With y pointing down, increasing angles turn clockwise on screen.
  if (clockwise) {
    cairo_arc(cr_, center.x, center.y, radius, startAngle, endAngle);
  } else {
    cairo_arc_negative(cr_, center.x, center.y, radius, startAngle, endAngle);
  }
}

void CairoGraphicsContext::addArcToPoint(Point p1, Point p2, double radius) {
  if (!cairo_has_current_point(cr_)) {
    cairo_move_to(cr_, p1.x, p1.y);
    return;
  }
  double x0, y0;
  cairo_get_current_point(cr_, &x0, &y0);
  double ax = x0 - p1.x, ay = y0 - p1.y, bx = p2.x - p1.x, by = p2.y - p1.y;
  double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
  if (la == 0 || lb == 0 || radius <= 0) {
    cairo_line_to(cr_, p1.x, p1.y);
    return;
  }
  ax /= la, ay /= la, bx /= lb, by /= lb;
  double cosTheta = std::clamp(ax * bx + ay * by, -1.0, 1.0);
  double theta = std::acos(cosTheta);
  if (theta < 1e-9 || std::numbers::pi - theta < 1e-9) {  // collinear: no corner to round
    cairo_line_to(cr_, p1.x, p1.y);
    return;
  }
  double d = radius / std::tan(theta / 2);
  double t1x = p1.x + ax * d, t1y = p1.y + ay * d;
  double t2x = p1.x + bx * d, t2y = p1.y + by * d;
  double mx = ax + bx, my = ay + by, lm = std::hypot(mx, my);
  double h = radius / std::sin(theta / 2);
  double cx = p1.x + mx / lm * h, cy = p1.y + my / lm * h;
  double a1 = std::atan2(t1y - cy, t1x - cx), a2 = std::atan2(t2y - cy, t2x - cx);
  double delta = std::remainder(a2 - a1, 2 * std::numbers::pi);
  cairo_line_to(cr_, t1x, t1y);
  if (delta > 0) {
    cairo_arc(cr_, cx, cy, radius, a1, a1 + delta);
  } else {
    cairo_arc_negative(cr_, cx, cy, radius, a1, a1 + delta);
  }
}

void CairoGraphicsContext::roundedRectPath(cairo_t* cr, Rect r, double radius) {
  radius = std::min({radius, r.width() / 2, r.height() / 2});
  if (!(radius > 0)) {
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

void CairoGraphicsContext::paintImage(cairo_t* cr, const Image& image, Rect into) {
  if (image.pixelWidth() <= 0 || image.pixelHeight() <= 0 || !(into.width() > 0) || !(into.height() > 0)) return;
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

void CairoGraphicsContext::drawText(const std::string& text, const Font& font, TextAlignment alignment, int lines,
                                    Rect bounds) {
  if (text.empty() || !(bounds.width() > 0)) return;
  PangoLayout* layout = makeLayout(cr_, text, font, bounds.width(), lines, alignment);
  Size s = layoutSize(layout);
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_move_to(cr_, bounds.x(), bounds.y() + (bounds.height() - s.height) / 2);
  cairo_set_source_rgba(cr_, fill_.red, fill_.green, fill_.blue, fill_.alpha);
  pango_cairo_show_layout(cr_, layout);
  cairo_restore(cr_);
  g_object_unref(layout);
}

void CairoGraphicsContext::strokePath() {
  cairo_set_source_rgba(cr_, stroke_.red, stroke_.green, stroke_.blue, stroke_.alpha);
  cairo_stroke(cr_);
}

void CairoGraphicsContext::fillPath() {
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  cairo_set_source_rgba(cr_, fill_.red, fill_.green, fill_.blue, fill_.alpha);
  cairo_fill(cr_);
}

}  // namespace qvad::render
