// What a view's custom drawing may do: a path-based context in the view's own
// coordinates. The renderer supplies the implementation.
#pragma once

#include "platform/toolkit/geometry.h"

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
  /// Both consume the current path.
  virtual void strokePath() = 0;
  virtual void fillPath() = 0;  // non-zero winding rule
};

}  // namespace qvad
