// What every host window has, whichever way it reaches the host's screen: a toolkit
// window the size of the host's content area, the host's screen controller at its root
// (a clear view that takes no taps of its own), the part of the application's state the
// host's window decides (key window, foreground), and closing what is up on detach.
// The two ways (a GTK host's own window, a window of another toolkit) derive from it.
// Main thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/toolkit/view_controller.h"
#include "platform/toolkit/window.h"
#include "qvad/host_window.h"

typedef struct _GtkWidget GtkWidget;

namespace qvad {

/// The host's own screen as the library sees it: nothing drawn, nothing tapped.
class HostScreenController final : public ViewController {
 public:
  const char* className() const override { return "QvHostViewController"; }

 protected:
  void loadView() override;
};

// Nested in an exported class, so its members would be exported too: they are the
// library's own.
struct QvHostWindow::Impl {
  QVAD_NO_EXPORT Impl();
  QVAD_NO_EXPORT virtual ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  /// Whether the host's window counts as in the foreground: shown, not minimised, and
  /// not left for another application.
  virtual bool foreground() const = 0;
  virtual unsigned long nativeWindow() const { return 0; }
  /// The GTK window a host attached (a second attach finds it), else nullptr.
  virtual const void* identity() const { return nullptr; }
  /// Takes the library's layers away and gives the host's window back as it was.
  virtual void teardown() = 0;
  /// Writes what the host's content area shows now, the host's widgets and the
  /// library's layers, to a PNG file (demo and test tooling).
  virtual bool writeScreenshot(const std::string& path) = 0;
  /// The GTK widget whose top-left corner is the host screen's (0, 0).
  virtual GtkWidget* screenWidget() const = 0;

  /// The content area has this size now (points): the window and, for the key host
  /// window, the main screen follow.
  QVAD_NO_EXPORT void resized(double width, double height);
  /// The host's window got the focus: it becomes the key window.
  QVAD_NO_EXPORT void focused();
  /// Whether a presented controller (a full-screen ad, the browser, an alert) covers
  /// the host's content.
  QVAD_NO_EXPORT bool covered() const;
  /// Whether a tap on `view` belongs to what lies beneath (the host's widgets).
  QVAD_NO_EXPORT bool passesClicks(const View& view) const;
  /// Something that decides foreground or background changed: the application's state
  /// is worked out again on the next turn (events come in bursts, a focus change as a
  /// focus-out and a focus-in).
  QVAD_NO_EXPORT static void activityChanged();

  /// Closes what is presented over the host's screen (with the ads' will-close and
  /// did-close events) and takes the floating badges off it; then teardown().
  QVAD_NO_EXPORT void detach();

  std::shared_ptr<Window> window;
  std::shared_ptr<HostScreenController> controller;
  bool attached = true;
};

/// Whether any top-level window of this process has the keyboard focus (a host's dialog
/// or one of the library's own windows counts as the application's).
bool anyToplevelActive();

/// What a host window shows, as a PNG file; false when it is detached or not written.
bool writeHostScreenshot(const QvHostWindow& host, const std::string& path);

/// That widget of a host window (tooling); nullptr once it is detached.
GtkWidget* hostScreenWidget(const QvHostWindow& host);

/// Made by the two ways in.
std::unique_ptr<QvHostWindow::Impl> makeGtkHost(GtkWindow* window, bool ownWindow);
std::unique_ptr<QvHostWindow::Impl> makeX11Host(unsigned long x11Window);

}  // namespace qvad
