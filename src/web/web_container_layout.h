// Frames of the web ad container's chrome, as a pure function of the screen metrics and
// the page options. Sizes in points; frames in the coordinates of the view each is
// added to (the title bar's buttons sit in a strip inside the bar).
#pragma once

#include "platform/toolkit/geometry.h"

namespace qvad {

struct WebContainerLayout {
  Rect navigationBar;  // white, clips its subviews
  Rect buttonStrip;    // inside the bar, from the status bar's height down
  bool buttonStripHidden = false;
  Rect backButton;     // inside the strip
  Rect closeButton;    // inside the strip
  Rect divider;        // inside the bar
  Rect webView;        // the page, under the full-height bar whatever the options
  Rect progressBar;    // empty (never visible) without the progress bar

  /// How many points of the button strip the bar leaves visible (the bar clips).
  double visibleButtonStripHeight() const;
};

struct WebContainerChromeOptions {
  bool fullscreen = false;
  bool showTitleBar = true;
  bool showProgressBar = true;
};

WebContainerLayout webContainerLayout(double screenWidth, double screenHeight, double statusBarHeight,
                                      const WebContainerChromeOptions& options);

}  // namespace qvad
