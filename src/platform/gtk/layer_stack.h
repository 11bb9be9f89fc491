// The library's drawing layers inside a GtkOverlay: the toolkit tree drawn by the Cairo
// renderer in layers, with the native widgets of pages (and entries for text fields)
// stacked between them, so whatever is painted after a page (toasts, alerts, close
// buttons) stays above it. Used by the library's own desktop windows and by the host
// windows laid over a host's widgets.
//
// Repainting follows the tree's change signal: a change schedules one frame on GTK's
// frame clock; a running contents animation keeps frames coming until it ends; with
// neither nothing is drawn. A click (press and release over the same view) is the tap
// the tests send: Window::sendTap at the pointer, unless it lands on a page or an entry,
// which then get the click themselves, or on what the stack was told passes clicks
// through (a host's own widgets beneath). Main thread only; GTK must be initialised.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/toolkit/window.h"

typedef struct _GtkWidget GtkWidget;

namespace qvad {

class LayerStack {
 public:
  struct Options {
    /// Paints the bottom layer white first (a window of the library's own); else the
    /// bottom layer is transparent over the overlay's main child (the host's widgets).
    bool opaque = true;
    /// Views that do not take clicks: a click on one goes to what lies beneath.
    std::function<bool(const View&)> passesClicks;
  };

  /// Stacks `window`'s layers in `overlay`. With `opaque`, the bottom layer becomes the
  /// overlay's main child; otherwise the overlay's main child stays (the host's) and
  /// every layer is an overlay child above it. Clicks are watched on `overlay`.
  LayerStack(std::shared_ptr<Window> window, GtkWidget* overlay, Options options);
  /// Takes the layers, pages and entries out of the overlay.
  ~LayerStack();
  LayerStack(const LayerStack&) = delete;
  LayerStack& operator=(const LayerStack&) = delete;

  const std::shared_ptr<Window>& window() const;
  GtkWidget* overlay() const;
  /// Frames drawn so far (repaints of the bottom layer).
  std::uint64_t framesDrawn() const;
  /// Layers currently stacked (one more than the pages shown natively).
  std::size_t layerCount() const;
  /// Runs the placement pass now when the tree changed.
  void layoutIfNeeded();
  /// Asks every layer for a frame.
  void queueDraw();
  /// Runs after every placement pass (the tree changed), for what follows the tree's
  /// shape (an input region, a cover).
  void setAfterLayout(std::function<void()> hook);

  /// Over a host's widgets only: while on, an input-only widget above them and below the
  /// layers takes every pointer and key event that would reach them.
  void setBlocking(bool on);
  /// That widget (focusable), nullptr for an opaque stack.
  GtkWidget* blocker() const;

  /// Writes what the overlay shows, pages included, to a PNG file: read back from the
  /// display once pending frames are drawn, or rendered from the tree (pages as
  /// placeholders) when it is not on screen. False on failure.
  bool writeScreenshot(const std::string& path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvad
