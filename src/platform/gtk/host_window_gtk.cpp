// A GTK host's own top-level window: its content moves into an overlay of ours, the
// library's layers stack above it (layer_stack.h), and it is given back on detach.
#include <gtk/gtk.h>

#include <cmath>
#include <vector>

#include "platform/gtk/host_screen.h"
#include "platform/gtk/layer_stack.h"

namespace qvad {
namespace {

class GtkHost final : public QvHostWindow::Impl {
 public:
  GtkHost(GtkWindow* toplevel, bool own) : toplevel_(toplevel), own_(own) {
    g_object_ref(toplevel_);
    GtkWidget* focus = gtk_window_get_focus(toplevel_);
    hostChild_ = gtk_bin_get_child(GTK_BIN(toplevel_));
    overlay_ = gtk_overlay_new();
    g_object_ref_sink(overlay_);
    if (hostChild_) {
      // The host's widget tree moves whole: the same widgets with their signals and state.
      g_object_ref(hostChild_);
      gtk_container_remove(GTK_CONTAINER(toplevel_), hostChild_);
      gtk_container_add(GTK_CONTAINER(overlay_), hostChild_);
    }
    gtk_container_add(GTK_CONTAINER(toplevel_), overlay_);
    gtk_widget_show(overlay_);
    restoreFocus(focus);
    if (own_) controller->view()->setBackgroundColor(Color::white());

    LayerStack::Options options;
    options.opaque = false;
    options.passesClicks = [this](const View& v) { return passesClicks(v); };
    layers_ = std::make_unique<LayerStack>(window, overlay_, std::move(options));
    layers_->setAfterLayout([this] { followCover(); });

    connect(G_OBJECT(overlay_), "size-allocate", G_CALLBACK(&GtkHost::onAllocate), overlayHandlers_);
    connect(G_OBJECT(toplevel_), "destroy", G_CALLBACK(&GtkHost::onDestroy), toplevelHandlers_);
    connect(G_OBJECT(toplevel_), "window-state-event", G_CALLBACK(&GtkHost::onStateEvent), toplevelHandlers_);
    connect(G_OBJECT(toplevel_), "notify::is-active", G_CALLBACK(&GtkHost::onActive), toplevelHandlers_);
    connect(G_OBJECT(toplevel_), "map", G_CALLBACK(&GtkHost::onVisibility), toplevelHandlers_);
    connect(G_OBJECT(toplevel_), "unmap", G_CALLBACK(&GtkHost::onVisibility), toplevelHandlers_);

    int w = gtk_widget_get_allocated_width(overlay_), h = gtk_widget_get_allocated_height(overlay_);
    if (!gtk_widget_get_realized(overlay_) || w <= 1 || h <= 1) gtk_window_get_size(toplevel_, &w, &h);
    resized(w, h);
    if (gtk_window_is_active(toplevel_)) seenActive_ = true;
  }

  ~GtkHost() override { GtkHost::teardown(); }

  bool foreground() const override {
    if (destroyed_ || !gtk_widget_get_mapped(GTK_WIDGET(toplevel_))) return false;
    GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(toplevel_));
    if (gdk && (gdk_window_get_state(gdk) & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN))) return false;
    // Until the window has had the focus once (a display without a window manager never
    // gives it), focus says nothing.
    return !seenActive_ || anyToplevelActive();
  }

  const void* identity() const override { return own_ ? nullptr : toplevel_; }

  bool writeScreenshot(const std::string& path) override { return layers_ && layers_->writeScreenshot(path); }

  GtkWidget* screenWidget() const override { return overlay_; }

  void teardown() override {
    if (!toplevel_) return;
    setCover(false);
    layers_.reset();
    for (gulong id : overlayHandlers_) g_signal_handler_disconnect(overlay_, id);
    for (gulong id : toplevelHandlers_) g_signal_handler_disconnect(toplevel_, id);
    if (!destroyed_) {
      GtkWidget* focus = gtk_window_get_focus(toplevel_);
      if (hostChild_) gtk_container_remove(GTK_CONTAINER(overlay_), hostChild_);
      gtk_container_remove(GTK_CONTAINER(toplevel_), overlay_);
      if (hostChild_) gtk_container_add(GTK_CONTAINER(toplevel_), hostChild_);
      restoreFocus(focus);
      if (own_) gtk_widget_destroy(GTK_WIDGET(toplevel_));
    }
    if (hostChild_) g_object_unref(hostChild_);
    g_object_unref(overlay_);
    g_object_unref(toplevel_);
    toplevel_ = nullptr;
  }

 private:
  template <class List>
  void connect(GObject* object, const char* signal, GCallback callback, List& list) {
    list.push_back(g_signal_connect(object, signal, callback, this));
  }

  void restoreFocus(GtkWidget* focus) {
    if (focus && hostChild_ && (focus == hostChild_ || gtk_widget_is_ancestor(focus, hostChild_)))
      gtk_widget_grab_focus(focus);
  }

  // A presented controller covers the host's widgets: they get no input until it goes,
  // and the keyboard focus they had comes back then.
  void followCover() { setCover(covered()); }

  void setCover(bool on) {
    if (on == covering_ || !layers_) return;
    covering_ = on;
    layers_->setBlocking(on);
    if (on) {
      GtkWidget* focus = gtk_window_get_focus(toplevel_);
      if (focus && hostChild_ && gtk_widget_is_ancestor(focus, hostChild_)) rememberFocus(focus);
      gtk_widget_grab_focus(layers_->blocker());
    } else {
      GtkWidget* focus = gtk_window_get_focus(toplevel_);
      if (savedFocus_ && (!focus || focus == layers_->blocker() || !gtk_widget_is_ancestor(focus, hostChild_)))
        gtk_widget_grab_focus(savedFocus_);
      rememberFocus(nullptr);
    }
  }

  void rememberFocus(GtkWidget* focus) {
    if (savedFocus_) g_object_remove_weak_pointer(G_OBJECT(savedFocus_), reinterpret_cast<gpointer*>(&savedFocus_));
    savedFocus_ = focus;
    if (savedFocus_) g_object_add_weak_pointer(G_OBJECT(savedFocus_), reinterpret_cast<gpointer*>(&savedFocus_));
  }

  static void onAllocate(GtkWidget*, GdkRectangle* a, gpointer self) {
    static_cast<GtkHost*>(self)->resized(a->width, a->height);
  }

  static void onDestroy(GtkWidget*, gpointer self) {
    auto* host = static_cast<GtkHost*>(self);
    host->destroyed_ = true;
    host->detach();
  }

  static gboolean onStateEvent(GtkWidget*, GdkEventWindowState*, gpointer) {
    activityChanged();
    return FALSE;
  }

  static void onActive(GObject*, GParamSpec*, gpointer self) {
    auto* host = static_cast<GtkHost*>(self);
    if (gtk_window_is_active(host->toplevel_)) {
      host->seenActive_ = true;
      host->focused();
    }
    activityChanged();
  }

  static void onVisibility(GtkWidget*, gpointer) { activityChanged(); }

  GtkWindow* toplevel_;
  bool own_;
  GtkWidget* hostChild_ = nullptr;
  GtkWidget* overlay_ = nullptr;
  std::unique_ptr<LayerStack> layers_;
  GtkWidget* savedFocus_ = nullptr;  // weak
  std::vector<gulong> overlayHandlers_, toplevelHandlers_;
  bool destroyed_ = false;
  bool covering_ = false;
  bool seenActive_ = false;
};

}  // namespace

std::unique_ptr<QvHostWindow::Impl> makeGtkHost(GtkWindow* window, bool ownWindow) {
  if (ownWindow) {
    // A window of the library's own for a host without one: a phone-sized screen.
    GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(w), "qvad");
    gtk_window_set_default_size(GTK_WINDOW(w), 375, 812);
    gtk_window_set_position(GTK_WINDOW(w), GTK_WIN_POS_CENTER);
    gtk_widget_show_all(w);
    window = GTK_WINDOW(w);
  }
  return std::make_unique<GtkHost>(window, ownWindow);
}

}  // namespace qvad
