// Value types of the toolkit: points, sizes, rectangles (in points, y grows downwards),
// colours (RGBA, 0 to 1) and fonts.
#pragma once

#include <string>

namespace qvad {

struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
  Rect(Point o, Size s) : origin(o), size(s) {}

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  double midX() const { return origin.x + size.width * 0.5; }
  double midY() const { return origin.y + size.height * 0.5; }
  Point center() const { return {midX(), midY()}; }
  bool contains(Point p) const { return p.x >= origin.x && p.x < maxX() && p.y >= origin.y && p.y < maxY(); }
  /// The rectangle shrunk by `dx` on the left and right and `dy` on the top and bottom.
  Rect insetBy(double dx, double dy) const {
    return {origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy};
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  static Color black(double alpha = 1) { return {0, 0, 0, alpha}; }
  static Color white(double alpha = 1) { return {1, 1, 1, alpha}; }
  static Color clear() { return {0, 0, 0, 0}; }
  static Color rgb(int r, int g, int b, double alpha = 1) { return {r / 255.0, g / 255.0, b / 255.0, alpha}; }
  friend bool operator==(const Color&, const Color&) = default;
};

/// A font by family and size in points; the default family is the system's sans face.
struct Font {
  std::string family = "Sans";
  double pointSize = 17;
  bool bold = false;

  static Font systemFont(double size) { return Font{"Sans", size, false}; }
  static Font boldSystemFont(double size) { return Font{"Sans", size, true}; }
  friend bool operator==(const Font&, const Font&) = default;
};

enum class TextAlignment { left, center, right };

}  // namespace qvad
