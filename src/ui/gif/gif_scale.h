// Shrinking a composited GIF frame to the size it is drawn at, on the worker that made
// it: the renderer then draws it pixel for pixel instead of filtering the whole canvas
// on the main thread every frame, and the frame kept is the small one.
#pragma once

#include <cstdint>
#include <vector>

namespace qvad {

/// `src` (premultiplied ARGB32, `sw` x `sh`, row by row) averaged down to `dw` x `dh`:
/// each output pixel is the mean of the source area it covers (a box filter, which is
/// what shrinking needs; no side may grow). Pure; safe on any thread.
std::vector<std::uint32_t> shrinkArgb(const std::uint32_t* src, int sw, int sh, int dw, int dh);

}  // namespace qvad
