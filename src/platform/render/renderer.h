// Draws a view tree with Cairo: frames, clipping, background colours with alpha,
// corner radii, layer contents, images, button images and titles, labels, progress
// bars and views' own drawing, skipping hidden views and honouring z-position.
// Main thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/toolkit/image.h"
#include "platform/toolkit/view.h"

namespace qvad {

/// Draws `root` (at the origin, its own frame origin ignored) into a new image of its
/// size times `scale` pixels per point. nullptr when the size is empty or too large.
std::shared_ptr<Image> renderView(const View& root, double scale = 1);
/// renderView() written to a PNG file; false on failure.
bool renderViewToPng(const View& root, const std::string& path, double scale = 1);

}  // namespace qvad
