#include "platform/toolkit/image.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>

namespace qvad {
namespace {

struct PngReader {
  std::span<const unsigned char> bytes;
  std::size_t pos = 0;
};

cairo_status_t readChunk(void* closure, unsigned char* data, unsigned int length) {
  auto* r = static_cast<PngReader*>(closure);
  if (r->bytes.size() - r->pos < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, r->bytes.data() + r->pos, length);
  r->pos += length;
  return CAIRO_STATUS_SUCCESS;
}

std::shared_ptr<Image> fromSurface(cairo_surface_t* surface, double scale) {
  std::shared_ptr<Image> out;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_t* argb = surface;
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
      argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(surface),
                                        cairo_image_surface_get_height(surface));
      cairo_t* cr = cairo_create(argb);
      cairo_set_source_surface(cr, surface, 0, 0);
      cairo_paint(cr);
      cairo_destroy(cr);
    }
    cairo_surface_flush(argb);
    out = Image::fromArgb32(cairo_image_surface_get_data(argb), cairo_image_surface_get_width(argb),
                            cairo_image_surface_get_height(argb), cairo_image_surface_get_stride(argb), scale);
    if (argb != surface) cairo_surface_destroy(argb);
  }
  cairo_surface_destroy(surface);
  return out;
}

}  // namespace

Image::Image(int pixelWidth, int pixelHeight, double scale, std::vector<std::uint32_t> pixels)
    : width_(pixelWidth), height_(pixelHeight), scale_(scale), pixels_(std::move(pixels)) {
  pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
}

std::shared_ptr<Image> Image::fromArgb32(const unsigned char* data, int pixelWidth, int pixelHeight, int stride,
                                         double scale) {
  if (!data || pixelWidth <= 0 || pixelHeight <= 0 || stride < pixelWidth * 4) return nullptr;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(pixelWidth) * static_cast<std::size_t>(pixelHeight));
  for (int y = 0; y < pixelHeight; ++y) {
    std::memcpy(&pixels[static_cast<std::size_t>(y) * pixelWidth], data + static_cast<std::size_t>(y) * stride,
                pixelWidth * 4u);
  }
  return std::make_shared<Image>(pixelWidth, pixelHeight, scale > 0 ? scale : 1, std::move(pixels));
}

std::shared_ptr<Image> Image::fromPng(std::span<const unsigned char> bytes, double scale) {
  PngReader reader{bytes};
  return fromSurface(cairo_image_surface_create_from_png_stream(readChunk, &reader), scale);
}

std::shared_ptr<Image> Image::fromPngFile(const std::string& path, double scale) {
  return fromSurface(cairo_image_surface_create_from_png(path.c_str()), scale);
}

bool Image::writePng(const std::string& path) const {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return false;
  }
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < height_; ++y) std::memcpy(data + y * stride, &pixels_[static_cast<std::size_t>(y) * width_], width_ * 4u);
  cairo_surface_mark_dirty(s);
  bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  return ok;
}

Color Image::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Color::clear();
  std::uint32_t p = pixels_[static_cast<std::size_t>(y) * width_ + x];
  double a = ((p >> 24) & 0xff) / 255.0;
  if (a == 0) return Color::clear();
  auto channel = [&](int shift) { return std::min(1.0, ((p >> shift) & 0xff) / 255.0 / a); };
  return {channel(16), channel(8), channel(0), a};
}

}  // namespace qvad
