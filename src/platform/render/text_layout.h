// Text measuring with the same layout the renderer draws with (Pango, metrics not
// hinted, so sizes do not depend on the output resolution). Main thread only.
#pragma once

#include <string>

#include "platform/toolkit/geometry.h"

namespace qvad {

/// Size of `text` in `font` wrapped at `maxWidth` points (a huge or non-finite width
/// does not wrap), at most `numberOfLines` lines (0: no limit). Unrounded.
Size measureText(const std::string& text, const Font& font, double maxWidth, int numberOfLines);

}  // namespace qvad
