#include "web/web_container_layout.h"

#include <algorithm>

namespace qvad {

namespace {
constexpr double kBar = 44;     // the title bar below the status bar
constexpr double kButton = 44;  // square buttons
}  // namespace

double WebContainerLayout::visibleButtonStripHeight() const {
  if (buttonStripHidden) return 0;
  const double top = navigationBar.y() + buttonStrip.y();
  const double bottom = std::min(navigationBar.maxY(), top + buttonStrip.height());
  return std::max(0.0, bottom - std::max(top, navigationBar.y()));
}

WebContainerLayout webContainerLayout(double w, double h, double statusBar, const WebContainerChromeOptions& options) {
  WebContainerLayout l;
  // Without the title bar's buttons the white bar keeps its full height; full screen
  // shrinks the bar to 44 points, clipping the strip that starts at the status bar.
  l.navigationBar = options.fullscreen ? Rect{0, 0, w, kBar} : Rect{0, 0, w, statusBar + kBar};
  l.buttonStrip = {0, statusBar, w, kBar};
  l.buttonStripHidden = !options.showTitleBar;
  l.backButton = {2, 0, kButton, kButton};
  l.closeButton = {48, 0, kButton, kButton};
  l.divider = {0, statusBar + kBar - 1, kButton, 1};
  l.webView = {0, statusBar + kBar, w, h - (statusBar + kBar)};
  l.progressBar = options.showProgressBar ? Rect{0, statusBar + kBar + 1, w, 2} : Rect{};
  return l;
}

}  // namespace qvad
