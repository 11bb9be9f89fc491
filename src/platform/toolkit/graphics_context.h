// What a view's own drawing may do: a path-based context in the view's own
// coordinates, plus images and text. The renderer supplies the implementation.
#pragma once

#include <string>

#include "platform/toolkit/geometry.h"
#include "platform/toolkit/image.h"

namespace qvad {

enum class LineCap { butt, round, square };

class GraphicsContext {
 public:
  virtual ~GraphicsContext() = default;

  virtual void saveState() = 0;
  virtual void restoreState() = 0;
  virtual void setShouldAntialias(bool on) = 0;
  virtual void setFillColor(const Color& c) = 0;
  virtual void setStrokeColor(const Color& c) = 0;
  virtual void setLineWidth(double width) = 0;
  virtual void setLineCap(LineCap cap) = 0;

  virtual void moveTo(Point p) = 0;
  virtual void addLineTo(Point p) = 0;
  /// Circular arc around `center`; angles in radians, clockwise on screen (y down)
  /// when `clockwise` is true.
  virtual void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) = 0;
  /// Arc of `radius` tangent to the lines current point -> `p1` and `p1` -> `p2`.
  virtual void addArcToPoint(Point p1, Point p2, double radius) = 0;
  virtual void closePath() = 0;
  /// A closed rectangle path with corners rounded by `radius` (clamped to half a side).
  virtual void addRoundedRect(Rect r, double radius) = 0;
  /// Both consume the current path.
  virtual void strokePath() = 0;
  virtual void fillPath() = 0;  // non-zero winding rule

  /// `image` scaled to fill `into`, with solid edges.
  virtual void drawImage(const Image& image, Rect into) = 0;
  /// `text` laid out in `bounds` (wrapped at its width, at most `lines` lines, 0: no
  /// limit) and centred vertically in it, in the fill colour.
  virtual void drawText(const std::string& text, const Font& font, TextAlignment alignment, int lines,
                        Rect bounds) = 0;
};

}  // namespace qvad
