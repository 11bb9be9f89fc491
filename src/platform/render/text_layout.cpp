#include "platform/render/text_layout.h"

#include "platform/render/pango_text.h"

namespace qvad {

Size measureText(const std::string& text, const Font& font, double maxWidth, int numberOfLines) {
  if (text.empty()) return {};
  // One scratch surface per thread: layouts are only measured here, never drawn.
  struct Scratch {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    ~Scratch() {
      cairo_destroy(cr);
      cairo_surface_destroy(surface);
    }
  };
  thread_local Scratch scratch;
  PangoLayout* layout = render::makeLayout(scratch.cr, text, font, maxWidth, numberOfLines, TextAlignment::left);
  Size s = render::layoutSize(layout);
  g_object_unref(layout);
  return s;
}

}  // namespace qvad
