// Shared by the measurer and the renderer so both lay text out identically.
#pragma once

#include <pango/pangocairo.h>

#include <string>

#include "platform/toolkit/geometry.h"

namespace qvad::render {

/// A layout on `cr` for the text; the caller unrefs it.
PangoLayout* makeLayout(cairo_t* cr, const std::string& text, const Font& font, double maxWidth, int numberOfLines,
                        TextAlignment alignment);
/// Logical size of a layout in points.
Size layoutSize(PangoLayout* layout);

}  // namespace qvad::render
