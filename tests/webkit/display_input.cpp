// Input that the display server generates itself, kept in a file of its own: the X headers'
// macros (None, Success, ...) clash with other headers of the engine tests.
#include <gtk/gtk.h>

#include "platform/gtk/window_gtk.h"

// Last: the X headers define macros that the headers above must not see.
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace qvad::test {

void personClick(DesktopWindow& w, int x, int y) {
  GdkWindow* top = gtk_widget_get_window(w.widget());
  int ox = 0, oy = 0;
  gdk_window_get_origin(top, &ox, &oy);
  Display* display = GDK_WINDOW_XDISPLAY(top);
  XTestFakeMotionEvent(display, -1, ox + x, oy + y, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XFlush(display);
}

}  // namespace qvad::test
