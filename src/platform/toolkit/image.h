// A decoded bitmap: premultiplied ARGB32 pixels, row by row, with a scale that maps
// pixels to points (an image of scale 2 covers half its pixel size in points).
// Immutable once made; shared freely between views and threads.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/toolkit/geometry.h"

namespace qvad {

class Image {
 public:
  Image(int pixelWidth, int pixelHeight, double scale, std::vector<std::uint32_t> pixels);

  /// Copies premultiplied ARGB32 rows (native byte order, `stride` bytes apart).
  static std::shared_ptr<Image> fromArgb32(const unsigned char* data, int pixelWidth, int pixelHeight, int stride,
                                           double scale = 1);
  /// Decodes PNG bytes; nullptr when they are not a PNG that can be read.
  static std::shared_ptr<Image> fromPng(std::span<const unsigned char> bytes, double scale = 1);
  /// Reads a PNG file; nullptr when it cannot be read or decoded.
  static std::shared_ptr<Image> fromPngFile(const std::string& path, double scale = 1);
  /// Writes the image as a PNG file; false on failure.
  bool writePng(const std::string& path) const;

  int pixelWidth() const { return width_; }
  int pixelHeight() const { return height_; }
  double scale() const { return scale_; }
  /// Size in points.
  Size size() const { return {width_ / scale_, height_ / scale_}; }
  /// Pixel at (x, y) with the alpha divided back out; transparent outside the image.
  Color pixel(int x, int y) const;
  const std::vector<std::uint32_t>& pixels() const { return pixels_; }

 private:
  int width_;
  int height_;
  double scale_;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace qvad
