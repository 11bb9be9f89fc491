// A view whose content a GTK widget shows (the engine's web view, GtkWebView, is known to
// the window already; other native views implement this). A desktop window puts
// the widget in its overlay at the view's place while the view is on screen and takes it
// out when the view leaves; the view keeps its own reference to the widget for its life.
#pragma once

typedef struct _GtkWidget GtkWidget;

namespace qvad {

class NativeWidgetView {
 public:
  virtual ~NativeWidgetView() = default;
  /// The widget that shows the view; nullptr while it has none. Main thread only.
  virtual GtkWidget* nativeWidget() = 0;
};

}  // namespace qvad
