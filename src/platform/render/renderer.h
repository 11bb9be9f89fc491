// Draws a view tree with Cairo: frames, clipping, background colours with alpha, corner
// radii, layer contents (the frame an animation selects at the main queue's time), then
// each view's own drawing and its subviews, skipping hidden views and honouring
// z-position. Main thread only.
//
// Views shown by native widgets of a backend (web pages, editable text fields) are
// handed to a sink with their place in the root's coordinates; whatever the sink does not
// show itself is drawn in place (a labelled placeholder for a web page). Because a native
// page covers what is painted before it, drawing can be split into layers at each page a
// sink shows: layer 0 is what lies beneath the first such page, layer k what is painted
// after the k-th page and before the next. A desktop window draws each layer on its own
// transparent surface stacked with the pages, so toasts and alerts stay above pages.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/toolkit/image.h"
#include "platform/toolkit/view.h"

// Cairo's context, declared as cairo.h does, so users of this header need no Cairo flags.
typedef struct _cairo cairo_t;

namespace qvad {

class WebView;
class TextField;

/// Where a native view is, as the renderer met it.
struct NativePlacement {
  Rect frame;    // in the root's coordinates
  Rect visible;  // the part of `frame` its ancestors' clipping leaves (empty when none)
  /// The layer painted right above the view when the sink shows it (web views only).
  std::size_t layerAbove = 0;
  friend bool operator==(const NativePlacement&, const NativePlacement&) = default;
};

/// Receives each visible native view while a tree is drawn, in painting order. Called
/// on the main thread during renderTree(); it must not change the tree.
class RenderSink {
 public:
  virtual ~RenderSink() = default;
  /// A web view. True when the backend shows the page itself (the renderer then draws
  /// nothing for the view and starts a new layer); false draws a labelled placeholder.
  virtual bool placeWebView(WebView& view, const NativePlacement& placement) = 0;
  /// A text field. True when the backend puts an editor over it (only the field's own
  /// drawing is skipped; it does not start a layer).
  virtual bool placeTextField(TextField& /*field*/, const NativePlacement& /*placement*/) { return false; }
};

struct RenderOptions {
  RenderSink* sink = nullptr;
  /// The one layer to draw; empty draws them all.
  std::optional<std::size_t> layer;
};

/// Draws `root` (at the origin, its own frame origin ignored) into `cr` in points, with
/// the context's current transformation. A null `cr` only walks the tree for the sink.
/// Returns the number of web views the sink showed (the layers above layer 0).
std::size_t renderTree(const View& root, cairo_t* cr, const RenderOptions& options = {});

/// Draws `root` into a new image of its size times `scale` pixels per point. nullptr
/// when the size is empty or too large.
std::shared_ptr<Image> renderView(const View& root, double scale = 1, const RenderOptions& options = {});
/// renderView() written to a PNG file; false on failure.
bool renderViewToPng(const View& root, const std::string& path, double scale = 1);

}  // namespace qvad
