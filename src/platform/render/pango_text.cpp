#include "platform/render/pango_text.h"

#include <cmath>

namespace qvad::render {

PangoLayout* makeLayout(cairo_t* cr, const std::string& text, const Font& font, double maxWidth, int numberOfLines,
                        TextAlignment alignment) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
  cairo_font_options_destroy(options);
  pango_layout_context_changed(layout);

  PangoFontDescription* desc = pango_font_description_from_string(font.family.c_str());
  pango_font_description_set_absolute_size(desc, font.pointSize * PANGO_SCALE);
  pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);

  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  if (std::isfinite(maxWidth) && maxWidth > 0 && maxWidth < 1e6) {
    pango_layout_set_width(layout, static_cast<int>(maxWidth * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    if (numberOfLines > 0) {
      pango_layout_set_height(layout, -numberOfLines);
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
  }
  switch (alignment) {
    case TextAlignment::left: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
    case TextAlignment::center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case TextAlignment::right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
  }
  return layout;
}

Size layoutSize(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return {static_cast<double>(logical.width) / PANGO_SCALE, static_cast<double>(logical.height) / PANGO_SCALE};
}

}  // namespace qvad::render
