// The host's screen: where the library's ads appear. Desktop backend only (a library
// built with QVAD_BACKEND=gtk); needs GTK 3 and, for overNativeWindow, an X11 display.
//
// A GTK host attaches its own top-level window; a host of another toolkit (SDL, Qt, a
// game engine, plain Xlib) names its X11 window. Either way the host passes
// viewController() to the full-screen ads' showAd and view() to the floating ad.
//
// Threads: every call, on the main thread only (the one that runs the library's main
// loop); another thread stops the process with a message saying so.
// Ownership: the host holds the returned object; releasing the last reference detaches.
// The library holds host windows weakly and never closes or destroys the host's window.
#pragma once

#include "qvad/export.h"

#include <memory>

typedef struct _GtkWindow GtkWindow;

namespace qvad {

class View;
class ViewController;

class QVAD_EXPORT QvHostWindow {
 public:
  /// Lays the library's layers over `window`'s content. The host's widgets stay as they
  /// are (moved into an overlay, given back on detach) and get every press, release,
  /// motion, scroll and key where no view of the library is. While a full-screen ad (or
  /// the in-app browser, the store sheet, an alert) is up it covers the content area and
  /// the host's widgets get no input. Layouts follow the window's size. A second attach
  /// of the same window returns the same object; null (with a console line) for a null
  /// window.
  static std::shared_ptr<QvHostWindow> attach(GtkWindow* window);

  /// Keeps undecorated windows of the library exactly over the X11 window `x11Window`
  /// (transient for it, following its moves and resizes, hidden while it is unmapped).
  /// The floating badge's window takes input only on the badge and its close button, so
  /// clicks elsewhere reach the host's window. 0 opens a window of the library's own
  /// (375 x 812 points, centred) instead. Null, with a console line, when the display is
  /// not X11 or the window does not exist. Initialises GTK when the host has not.
  static std::shared_ptr<QvHostWindow> overNativeWindow(unsigned long x11Window);

  /// Detaches (see detach()).
  ~QvHostWindow();
  QvHostWindow(const QvHostWindow&) = delete;
  QvHostWindow& operator=(const QvHostWindow&) = delete;

  /// What QvRewardVideoAd::showAd and QvInterstitialAd::showAd present over.
  std::shared_ptr<ViewController> viewController() const;
  /// What QvInterActiveAdManager::showAd lays the floating badge over (its customView).
  /// Without a customView the badge goes over the key host window: the one that has
  /// focus, else the last attached.
  std::shared_ptr<View> view() const;

  /// Closes ads still up (their will-close and did-close callbacks run), removes the
  /// library's layers and gives the host's widgets back as they were. Later calls do
  /// nothing; viewController() and view() then belong to no window.
  void detach();
  bool isAttached() const;

  /// The X11 window the library's windows follow (0 for a GTK host).
  unsigned long nativeWindow() const;

  struct Impl;

 private:
  QVAD_NO_EXPORT explicit QvHostWindow(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvad
