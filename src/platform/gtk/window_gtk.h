// A toolkit window on the desktop: a top-level GTK window whose overlay stacks the tree's
// drawing layers (the same Cairo renderer as headless screenshots) with the native
// widgets of the pages in it, so whatever is painted after a page (toasts, alerts,
// close buttons) stays above it. Text fields get real entries over them.
//
// Repainting follows the tree's change signal: a change schedules one frame on GTK's
// frame clock; a running contents animation keeps frames coming until it ends; with
// neither nothing is drawn. A click (press and release over the same view) is the tap
// the tests send: Window::sendTap at the pointer, unless it lands on a page or an entry,
// which then get the click themselves. Main thread only; GTK must be initialised.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/toolkit/window.h"

typedef struct _GtkWidget GtkWidget;

namespace qvad {

class DesktopWindow {
 public:
  /// Opens a top-level window the size of `window`'s frame showing its tree.
  explicit DesktopWindow(std::shared_ptr<Window> window, const std::string& title = "qvad");
  /// Closes the top-level window; the toolkit window and its tree stay.
  ~DesktopWindow();
  DesktopWindow(const DesktopWindow&) = delete;
  DesktopWindow& operator=(const DesktopWindow&) = delete;

  const std::shared_ptr<Window>& window() const;
  /// The top-level GtkWindow.
  GtkWidget* widget() const;
  /// Frames drawn so far (repaints of the bottom layer).
  std::uint64_t framesDrawn() const;
  /// Layers currently stacked (one more than the pages shown natively).
  std::size_t layerCount() const;

  /// Writes what the window shows, pages included, to a PNG file: read back from the
  /// display once pending frames are drawn, or rendered from the tree (pages as
  /// placeholders) when the window is not on screen. False on failure.
  bool writeScreenshot(const std::string& path);

  /// Opens a desktop window for each window that becomes key from now on and closes it
  /// when the toolkit window is no longer key; off again with false.
  static void followKeyWindow(bool on);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvad
