#include "platform/gtk/window_gtk.h"

#include <gtk/gtk.h>

#include <cmath>
#include <map>

#include "platform/gtk/layer_stack.h"
#include "platform/notification_center.h"
#include "platform/toolkit/application.h"

namespace qvad {

struct DesktopWindow::Impl {
  std::shared_ptr<Window> window;
  GtkWidget* toplevel = nullptr;
  std::unique_ptr<LayerStack> layers;
};

DesktopWindow::DesktopWindow(std::shared_ptr<Window> window, const std::string& title) : impl_(std::make_unique<Impl>()) {
  auto& d = *impl_;
  d.window = std::move(window);
  Rect f = d.window->frame();
  d.toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(d.toplevel);
  gtk_window_set_title(GTK_WINDOW(d.toplevel), title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(d.toplevel), static_cast<int>(std::ceil(f.width())),
                              static_cast<int>(std::ceil(f.height())));
  gtk_window_set_resizable(GTK_WINDOW(d.toplevel), FALSE);
  GtkWidget* overlay = gtk_overlay_new();
  gtk_widget_set_size_request(overlay, static_cast<int>(std::ceil(f.width())), static_cast<int>(std::ceil(f.height())));
  gtk_container_add(GTK_CONTAINER(d.toplevel), overlay);
  d.layers = std::make_unique<LayerStack>(d.window, overlay, LayerStack::Options{});
  gtk_widget_show_all(d.toplevel);
}

DesktopWindow::~DesktopWindow() {
  auto& d = *impl_;
  d.layers.reset();
  gtk_widget_destroy(d.toplevel);
  g_object_unref(d.toplevel);
}

const std::shared_ptr<Window>& DesktopWindow::window() const { return impl_->window; }
GtkWidget* DesktopWindow::widget() const { return impl_->toplevel; }
std::uint64_t DesktopWindow::framesDrawn() const { return impl_->layers->framesDrawn(); }
std::size_t DesktopWindow::layerCount() const { return impl_->layers->layerCount(); }
bool DesktopWindow::writeScreenshot(const std::string& path) { return impl_->layers->writeScreenshot(path); }

namespace {

struct KeyFollower {
  NotificationCenter::ObserverId becameKey = 0;
  NotificationCenter::ObserverId resigned = 0;
  std::map<const void*, std::unique_ptr<DesktopWindow>> shown;
};

KeyFollower& follower() {
  static auto* f = new KeyFollower();  // lives for the process, like the application
  return *f;
}

}  // namespace

void DesktopWindow::followKeyWindow(bool on) {
  auto& f = follower();
  auto& center = NotificationCenter::defaultCenter();
  if (!on) {
    center.removeObserver(f.becameKey);
    center.removeObserver(f.resigned);
    f.becameKey = f.resigned = 0;
    f.shown.clear();
    return;
  }
  if (f.becameKey) return;
  f.becameKey = center.addObserver(kWindowDidBecomeKeyNotification, [](const Notification& n) {
    auto key = Application::shared().keyWindow();
    if (!key || key.get() != n.object || follower().shown.count(n.object)) return;
    follower().shown[n.object] = std::make_unique<DesktopWindow>(key);
  });
  f.resigned = center.addObserver(kWindowDidResignKeyNotification,
                                  [](const Notification& n) { follower().shown.erase(n.object); });
  if (auto key = Application::shared().keyWindow()) f.shown[key.get()] = std::make_unique<DesktopWindow>(key);
}

}  // namespace qvad
