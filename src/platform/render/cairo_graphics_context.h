// GraphicsContext over a Cairo context, for views' own drawing.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "platform/toolkit/graphics_context.h"

namespace qvad::render {

class CairoGraphicsContext final : public GraphicsContext {
 public:
  explicit CairoGraphicsContext(cairo_t* cr) : cr_(cr) {}

  void saveState() override;
  void restoreState() override;
  void setShouldAntialias(bool on) override;
  void setFillColor(const Color& c) override { fill_ = c; }
  void setStrokeColor(const Color& c) override { stroke_ = c; }
  void setLineWidth(double width) override { cairo_set_line_width(cr_, width); }
  void setLineCap(LineCap cap) override;
  void moveTo(Point p) override { cairo_move_to(cr_, p.x, p.y); }
  void addLineTo(Point p) override { cairo_line_to(cr_, p.x, p.y); }
  void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) override;
  void addArcToPoint(Point p1, Point p2, double radius) override;
  void closePath() override { cairo_close_path(cr_); }
  void addRoundedRect(Rect r, double radius) override { roundedRectPath(cr_, r, radius); }
  void strokePath() override;
  void fillPath() override;
  void drawImage(const Image& image, Rect into) override { paintImage(cr_, image, into); }
  void drawText(const std::string& text, const Font& font, TextAlignment alignment, int lines, Rect bounds) override;

  // The same, for the renderer's own drawing straight on Cairo.
  static void roundedRectPath(cairo_t* cr, Rect r, double radius);
  static void paintImage(cairo_t* cr, const Image& image, Rect into);

 private:
  cairo_t* cr_;
  Color fill_ = Color::black();
  Color stroke_ = Color::black();
  struct Saved {
    Color fill;
    Color stroke;
  };
  std::vector<Saved> saved_;
};

}  // namespace qvad::render
