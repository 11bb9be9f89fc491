// Another toolkit's X11 window: the library's layers live in an undecorated window of
// its own, transient for the host's and kept exactly over its area. While only the
// floating badge is up, the window's shape (what it shows and where it takes input) is
// the badge alone, so the host's window gets every click elsewhere; a full-screen ad
// makes it whole. The host's window is watched through the display connection GDK uses:
// moves, resizes, mapping, minimising and focus. Kept in a file of its own: the X
// headers' macros clash with other headers.
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/gtk/host_screen.h"
#include "platform/gtk/layer_stack.h"
#include "platform/log.h"

// Last: the X headers define macros (None, Status, ...) that the headers above must not see.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace qvad {
namespace {

// The frames, in window points, of what the badges show: the leaves of the host screen's
// view tree (a badge's picture and its close button, not the gap between them).
void addLeaves(const View& v, Point origin, cairo_region_t* region) {
  if (v.isHidden() || v.alpha() <= 0) return;
  const Rect f = v.frame();
  const Point at{origin.x + f.x(), origin.y + f.y()};
  if (v.subviews().empty()) {
    cairo_rectangle_int_t r{static_cast<int>(std::floor(at.x)), static_cast<int>(std::floor(at.y)),
                            static_cast<int>(std::ceil(at.x + f.width()) - std::floor(at.x)),
                            static_cast<int>(std::ceil(at.y + f.height()) - std::floor(at.y))};
    if (r.width > 0 && r.height > 0) cairo_region_union_rectangle(region, &r);
    return;
  }
  for (const auto& s : v.subviews()) addLeaves(*s, at, region);
}

class X11Host final : public QvHostWindow::Impl {
 public:
  X11Host(GdkDisplay* display, ::Window xid, GdkWindow* foreign) : display_(display), xid_(xid), foreign_(foreign) {
    xdisplay_ = GDK_DISPLAY_XDISPLAY(display_);
    top_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(top_);
    gtk_window_set_decorated(GTK_WINDOW(top_), FALSE);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(top_), TRUE);
    gtk_window_set_skip_pager_hint(GTK_WINDOW(top_), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(top_), GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_focus_on_map(GTK_WINDOW(top_), FALSE);
    gtk_window_set_accept_focus(GTK_WINDOW(top_), FALSE);
    gtk_window_set_title(GTK_WINDOW(top_), "qvad");
    overlay_ = gtk_overlay_new();
    gtk_container_add(GTK_CONTAINER(top_), overlay_);
    gtk_widget_show(overlay_);
    gtk_widget_realize(top_);
    gdk_window_set_transient_for(gtk_widget_get_window(top_), foreign_);

    LayerStack::Options options;
    options.opaque = false;
    options.passesClicks = [this](const View& v) { return passesClicks(v); };
    layers_ = std::make_unique<LayerStack>(window, overlay_, std::move(options));
    layers_->setAfterLayout([this] { updateShape(); });
    activeHandler_ = g_signal_connect(top_, "notify::is-active", G_CALLBACK(&X11Host::onOwnActive), this);

    gdk_x11_display_error_trap_push(display_);
    XWindowAttributes attrs;
    long mask = StructureNotifyMask | FocusChangeMask | PropertyChangeMask;
    if (XGetWindowAttributes(xdisplay_, xid_, &attrs)) mask |= attrs.your_event_mask;
    XSelectInput(xdisplay_, xid_, mask);
    gdk_x11_display_error_trap_pop_ignored(display_);
    gdk_window_add_filter(foreign_, &X11Host::filter, this);
    updateShape();
    sync();
  }

  ~X11Host() override { X11Host::teardown(); }

  bool foreground() const override {
    if (!hostMapped_ || iconic_) return false;
    return !seenFocus_ || hostFocused_ || anyToplevelActive();
  }

  unsigned long nativeWindow() const override { return xid_; }

  bool writeScreenshot(const std::string& path) override { return layers_ && layers_->writeScreenshot(path); }

  GtkWidget* screenWidget() const override { return overlay_; }

  void teardown() override {
    if (!top_) return;
    gdk_window_remove_filter(foreign_, &X11Host::filter, this);
    g_signal_handler_disconnect(top_, activeHandler_);
    layers_.reset();
    gtk_widget_destroy(top_);
    g_object_unref(top_);
    top_ = nullptr;
    g_object_unref(foreign_);
  }

 private:
  static GdkFilterReturn filter(GdkXEvent* raw, GdkEvent*, gpointer data) {
    auto* self = static_cast<X11Host*>(data);
    const XEvent* ev = static_cast<const XEvent*>(raw);
    switch (ev->type) {
      case DestroyNotify:
        if (ev->xdestroywindow.window == self->xid_) self->detach();
        break;
      case FocusIn:
      case FocusOut:
        // Focus moving among the host's own child windows says nothing.
        if (ev->xfocus.detail == NotifyInferior) break;
        self->seenFocus_ = true;
        self->hostFocused_ = ev->type == FocusIn;
        if (self->hostFocused_) self->focused();
        activityChanged();
        break;
      case ConfigureNotify:
      case MapNotify:
      case UnmapNotify:
      case ReparentNotify:
      case PropertyNotify:
        self->sync();
        break;
      default:
        break;
    }
    return GDK_FILTER_CONTINUE;
  }

  static void onOwnActive(GObject*, GParamSpec*, gpointer self) {
    auto* host = static_cast<X11Host*>(self);
    if (gtk_window_is_active(GTK_WINDOW(host->top_))) host->focused();
    activityChanged();
  }

  bool readIconic() {
    // WM_STATE (ICCCM) says iconic; _NET_WM_STATE_HIDDEN says minimised on EWMH managers.
    Atom wmState = gdk_x11_get_xatom_by_name_for_display(display_, "WM_STATE");
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool iconic = false;
    if (XGetWindowProperty(xdisplay_, xid_, wmState, 0, 2, False, wmState, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
      if (format == 32 && count >= 1) iconic = reinterpret_cast<long*>(data)[0] == IconicState;
      XFree(data);
      data = nullptr;
    }
    Atom netState = gdk_x11_get_xatom_by_name_for_display(display_, "_NET_WM_STATE");
    Atom hidden = gdk_x11_get_xatom_by_name_for_display(display_, "_NET_WM_STATE_HIDDEN");
    if (XGetWindowProperty(xdisplay_, xid_, netState, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
      if (format == 32) {
        const auto* atoms = reinterpret_cast<Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) iconic = iconic || atoms[i] == hidden;
      }
      XFree(data);
    }
    return iconic;
  }

  // The host window's place, size and state, read from the server (its events only say
  // that something changed; a reparenting window manager's moves arrive as synthetic
  // configure events relative to the root).
  void sync() {
    if (!top_) return;
    gdk_x11_display_error_trap_push(display_);
    XWindowAttributes attrs;
    int x = 0, y = 0;
    ::Window child;
    bool ok = XGetWindowAttributes(xdisplay_, xid_, &attrs) &&
              XTranslateCoordinates(xdisplay_, xid_, attrs.root, 0, 0, &x, &y, &child);
    bool iconic = ok && readIconic();
    if (gdk_x11_display_error_trap_pop(display_) || !ok) return;  // going: DestroyNotify follows
    const int scale = std::max(1, gdk_window_get_scale_factor(gtk_widget_get_window(top_)));
    const int w = attrs.width / scale, h = attrs.height / scale;
    hostMapped_ = attrs.map_state == IsViewable;
    iconic_ = iconic;
    if (hostMapped_ && w > 0 && h > 0) {
      resized(w, h);
      gtk_widget_set_size_request(overlay_, w, h);
      gtk_window_resize(GTK_WINDOW(top_), w, h);
      gtk_window_move(GTK_WINDOW(top_), x / scale, y / scale);
      if (!gtk_widget_get_visible(top_)) {
        gtk_widget_show(top_);
        gdk_window_set_transient_for(gtk_widget_get_window(top_), foreign_);
      }
      // Without a window manager nothing keeps a transient window above its parent.
      gdk_window_raise(gtk_widget_get_window(top_));
    } else if (gtk_widget_get_visible(top_)) {
      gtk_widget_hide(top_);
    }
    activityChanged();
  }

  void updateShape() {
    if (!top_) return;
    const bool cover = covered();
    if (cover) {
      gtk_widget_shape_combine_region(top_, nullptr);
      gtk_widget_input_shape_combine_region(top_, nullptr);
    } else {
      cairo_region_t* region = cairo_region_create();
      addLeaves(*controller->view(), {0, 0}, region);
      gtk_widget_shape_combine_region(top_, region);
      gtk_widget_input_shape_combine_region(top_, region);
      cairo_region_destroy(region);
    }
    if (cover != covering_) {
      covering_ = cover;
      // The ad takes the keyboard while it covers the host; the badge never does.
      gtk_window_set_accept_focus(GTK_WINDOW(top_), cover);
      if (cover) gtk_window_present(GTK_WINDOW(top_));
    }
  }

  GdkDisplay* display_;
  Display* xdisplay_ = nullptr;
  ::Window xid_;
  GdkWindow* foreign_;
  GtkWidget* top_ = nullptr;
  GtkWidget* overlay_ = nullptr;
  std::unique_ptr<LayerStack> layers_;
  gulong activeHandler_ = 0;
  bool hostMapped_ = false;
  bool iconic_ = false;
  bool seenFocus_ = false;
  bool hostFocused_ = false;
  bool covering_ = false;
};

}  // namespace

std::unique_ptr<QvHostWindow::Impl> makeX11Host(unsigned long x11Window) {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) {
    logLine("QvHostWindow::overNativeWindow: the display is not X11; nothing attached");
    return nullptr;
  }
  gdk_x11_display_error_trap_push(display);
  GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(display, x11Window);
  gdk_x11_display_error_trap_pop_ignored(display);
  if (!foreign) {
    logLine("QvHostWindow::overNativeWindow: no X11 window " + std::to_string(x11Window) + "; nothing attached");
    return nullptr;
  }
  return std::make_unique<X11Host>(display, x11Window, foreign);
}

}  // namespace qvad
