#include "platform/gtk/layer_stack.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/gtk/native_widget.h"
#include "platform/gtk/web_view_webkit.h"
#include "platform/log.h"
#include "platform/main_queue.h"
#include "platform/render/renderer.h"
#include "platform/toolkit/text_field.h"
#include "platform/web_view.h"

namespace qvad {
namespace {

constexpr const char* kLayerKey = "qvad-layer";

GtkWidget* widgetOf(WebView& page) {
  if (auto* engine = dynamic_cast<GtkWebView*>(&page)) return engine->widget();
  auto* native = dynamic_cast<NativeWidgetView*>(&page);
  return native ? native->nativeWidget() : nullptr;
}

GdkRectangle pixelRect(Rect r) {
  int x = static_cast<int>(std::floor(r.x())), y = static_cast<int>(std::floor(r.y()));
  int w = static_cast<int>(std::ceil(r.maxX())) - x, h = static_cast<int>(std::ceil(r.maxY())) - y;
  return {x, y, std::max(w, 1), std::max(h, 1)};
}

}  // namespace

struct LayerStack::Impl final : RenderSink {
  std::shared_ptr<Window> window;
  Options options;
  GtkWidget* overlay = nullptr;
  GtkWidget* clickWidget = nullptr;  // where the click gesture sits (the top-level window)
  std::vector<GtkWidget*> areas;     // areas[k] draws layer k
  GtkGesture* clicks = nullptr;
  gulong positionHandler = 0;
  GtkWidget* blocker = nullptr;  // over the host's widgets, under the layers, while covering
  std::function<void()> afterLayout;

  struct Placed {
    std::weak_ptr<View> view;
    GtkWidget* widget;  // referenced while in the overlay
    Rect frame;
  };
  std::vector<Placed> pages;    // in painting order
  std::vector<Placed> entries;  // text fields' entries
  // Filled by the placement pass; compared with the lists above.
  std::vector<std::pair<std::shared_ptr<View>, Rect>> seenPages, seenFields;
  bool collecting = false;

  guint tick = 0;
  std::uint64_t frames = 0;
  std::shared_ptr<View> pressed;

  // RenderSink. The placement pass collects the visible pages that have a widget and the
  // visible text fields; drawing then treats exactly those as shown natively, so the
  // layers it draws match the layers stacked in the overlay.
  bool placeWebView(WebView& view, const NativePlacement& p) override {
    if (!collecting) return isPlaced(pages, view);
    if (!widgetOf(view) || !isVisible(p)) return false;
    seenPages.emplace_back(std::static_pointer_cast<View>(view.shared_from_this()), p.frame);
    return true;
  }
  bool placeTextField(TextField& field, const NativePlacement& p) override {
    if (!collecting) return isPlaced(entries, field);
    if (!isVisible(p)) return false;
    seenFields.emplace_back(std::static_pointer_cast<View>(field.shared_from_this()), p.frame);
    return true;
  }
  static bool isVisible(const NativePlacement& p) { return p.visible.width() > 0 && p.visible.height() > 0; }
  static bool isPlaced(const std::vector<Placed>& list, const View& v) {
    return std::any_of(list.begin(), list.end(), [&](const Placed& p) { return p.view.lock().get() == &v; });
  }

  void scheduleFrame() {
    if (tick == 0) tick = gtk_widget_add_tick_callback(overlay, &Impl::onTick, this, nullptr);
  }

  // While an animation runs, each tick asks whether it shows a new image (a GIF of 25
  // frames a second repaints 25 times, not at the display's rate); its end is such a
  // change too, for the settled look.
  static gboolean onTick(GtkWidget*, GdkFrameClock*, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    bool changed = self->window->needsDisplay();
    if (changed) self->layout();
    const double now = MainQueue::main().now();
    const auto animation = self->window->animationState(now);
    if (changed || animation.changed) self->queueDraw();
    if (animation.running) return G_SOURCE_CONTINUE;
    self->tick = 0;
    return G_SOURCE_REMOVE;
  }

  void queueDraw() {
    for (auto* a : areas) gtk_widget_queue_draw(a);
  }

  // The placement pass: which pages and fields are on screen, where, and in what order;
  // then the overlay is made to match.
  void layout() {
    window->didDisplay();
    seenPages.clear();
    seenFields.clear();
    collecting = true;
    renderTree(*window, nullptr, {this, std::nullopt});
    collecting = false;
    syncPlaced(pages, seenPages, [](const std::shared_ptr<View>& v) { return widgetOf(static_cast<WebView&>(*v)); });
    syncPlaced(entries, seenFields, [this](const std::shared_ptr<View>& v) { return makeEntry(v); });
    syncEntryTexts();
    // One layer above each page, stacked page, layer, page, layer, ..., entries on top.
    while (areas.size() < pages.size() + 1) addArea();
    while (areas.size() > pages.size() + 1) {
      gtk_widget_destroy(areas.back());
      areas.pop_back();
    }
    int index = 0;
    if (blocker) gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay), blocker, index++);
    if (!options.opaque) gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay), areas[0], index++);
    for (std::size_t i = 0; i < pages.size(); ++i) {
      gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay), pages[i].widget, index++);
      gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay), areas[i + 1], index++);
    }
    for (auto& e : entries) gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay), e.widget, index++);
    gtk_widget_queue_resize(overlay);
    if (afterLayout) {
      auto hook = afterLayout;  // the hook may replace itself
      hook();
    }
  }

  template <class Make>
  void syncPlaced(std::vector<Placed>& placed, const std::vector<std::pair<std::shared_ptr<View>, Rect>>& seen,
                  Make make) {
    std::vector<Placed> next;
    for (const auto& [view, frame] : seen) {
      const auto& shown = view;  // clang before 16 cannot capture a structured binding
      auto it = std::find_if(placed.begin(), placed.end(), [&](const Placed& p) { return p.view.lock() == shown; });
      if (it != placed.end()) {
        it->frame = frame;
        next.push_back(*it);
        placed.erase(it);
        continue;
      }
      GtkWidget* w = make(view);
      if (!w) continue;
      g_object_ref(w);
      if (GtkWidget* old = gtk_widget_get_parent(w)) gtk_container_remove(GTK_CONTAINER(old), w);
      gtk_overlay_add_overlay(GTK_OVERLAY(overlay), w);
      gtk_widget_show(w);
      next.push_back({view, w, frame});
    }
    for (auto& gone : placed) release(gone);  // off screen now
    placed = std::move(next);
  }

  void release(Placed& p) {
    if (gtk_widget_get_parent(p.widget) == overlay) gtk_container_remove(GTK_CONTAINER(overlay), p.widget);
    g_object_unref(p.widget);
  }

  GtkWidget* makeEntry(const std::shared_ptr<View>& view) {
    auto field = std::static_pointer_cast<TextField>(view);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
    gtk_entry_set_text(GTK_ENTRY(entry), field->text().c_str());
    gtk_entry_set_placeholder_text(GTK_ENTRY(entry), field->placeholder().c_str());
    auto* weak = new std::weak_ptr<TextField>(field);
    g_signal_connect_data(
        entry, "changed", G_CALLBACK(+[](GtkEditable* e, gpointer data) {
          if (auto f = static_cast<std::weak_ptr<TextField>*>(data)->lock()) f->setText(gtk_entry_get_text(GTK_ENTRY(e)));
        }),
        weak, [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<TextField>*>(data); }, GConnectFlags{});
    if (entries.empty()) gtk_widget_grab_focus(entry);
    return entry;
  }

  // Text set from the library shows in the entry (the entry's own edits are already there).
  void syncEntryTexts() {
    for (auto& e : entries) {
      auto field = std::static_pointer_cast<TextField>(e.view.lock());
      if (field && field->text() != gtk_entry_get_text(GTK_ENTRY(e.widget)))
        gtk_entry_set_text(GTK_ENTRY(e.widget), field->text().c_str());
    }
  }

  GtkWidget* makeArea() {
    GtkWidget* area = gtk_drawing_area_new();
    g_object_set_data(G_OBJECT(area), kLayerKey, GSIZE_TO_POINTER(areas.size()));
    g_signal_connect(area, "draw", G_CALLBACK(&Impl::onDraw), this);
    areas.push_back(area);
    return area;
  }

  void addArea() {
    GtkWidget* area = makeArea();
    // Clicks go through the upper layers to what lies beneath; the window's capture
    // decides who gets them. The overlay passes them through its own window around the
    // layer, and the layer has no window of its own, which would take them (and hand
    // them up to the top-level window, never to the page or the host's widget).
    gtk_widget_set_has_window(area, FALSE);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), area);
    gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay), area, TRUE);
    gtk_widget_show(area);
  }

  static gboolean onDraw(GtkWidget* area, cairo_t* cr, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    std::size_t layer = GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(area), kLayerKey));
    if (layer == 0) {
      if (self->options.opaque) {
        cairo_set_source_rgb(cr, 1, 1, 1);  // a window's own background
        cairo_paint(cr);
      }
      ++self->frames;
    }
    renderTree(*self->window, cr, {self, layer});
    return TRUE;
  }

  // An input-only window over the host's widgets: pointer and key events that reach it
  // end there. Pages above it still get theirs; the click gesture sees presses first.
  void makeBlocker() {
    blocker = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(blocker), FALSE);
    gtk_widget_set_can_focus(blocker, TRUE);
    gtk_widget_add_events(blocker, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                       GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                       GDK_KEY_RELEASE_MASK | GDK_TOUCH_MASK);
    auto swallow = G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer) -> gboolean { return TRUE; });
    for (const char* signal : {"button-press-event", "button-release-event", "motion-notify-event", "scroll-event",
                               "key-press-event", "key-release-event", "touch-event"})
      g_signal_connect(blocker, signal, swallow, nullptr);
    g_object_ref(blocker);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), blocker);
  }

  static gboolean onChildPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* out, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    for (auto* list : {&self->pages, &self->entries}) {
      for (const auto& p : *list) {
        if (p.widget != child) continue;
        *out = pixelRect(p.frame);
        return TRUE;
      }
    }
    return FALSE;  // drawing layers fill the overlay
  }

  // Gesture coordinates (relative to the widget it sits on) in the overlay's, which are
  // the window's points; false outside the overlay.
  bool toWindow(GtkGesture* g, double x, double y, Point& out) {
    int ox = 0, oy = 0;
    if (!gtk_widget_translate_coordinates(gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(g)), overlay,
                                          static_cast<int>(x), static_cast<int>(y), &ox, &oy))
      return false;
    out = {static_cast<double>(ox) + (x - std::floor(x)), static_cast<double>(oy) + (y - std::floor(y))};
    GtkAllocation a;
    gtk_widget_get_allocation(overlay, &a);
    return out.x >= 0 && out.y >= 0 && out.x < a.width && out.y < a.height;
  }

  // Pages and entries take their own clicks; so does what passes clicks through.
  bool ownsClicks(const std::shared_ptr<View>& hit) const {
    if (options.passesClicks && options.passesClicks(*hit)) return true;
    for (auto* list : {&pages, &entries}) {
      for (const auto& p : *list) {
        if (p.view.lock() == hit) return true;
      }
    }
    return false;
  }

  static void onPressed(GtkGestureMultiPress* g, gint, gdouble x, gdouble y, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    Point p;
    auto hit = self->toWindow(GTK_GESTURE(g), x, y, p) ? self->window->hitTest(p) : nullptr;
    if (!hit || self->ownsClicks(hit)) {
      self->pressed = nullptr;
      gtk_gesture_set_state(GTK_GESTURE(g), GTK_EVENT_SEQUENCE_DENIED);
      return;
    }
    self->pressed = hit;
    gtk_gesture_set_state(GTK_GESTURE(g), GTK_EVENT_SEQUENCE_CLAIMED);
  }

  static void onReleased(GtkGestureMultiPress* g, gint, gdouble x, gdouble y, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    auto pressed = std::exchange(self->pressed, nullptr);
    Point p;
    // Released over the view it was pressed on: a tap, routed as every tap is.
    if (pressed && self->toWindow(GTK_GESTURE(g), x, y, p) && self->window->hitTest(p) == pressed)
      self->window->sendTap(p);
  }
};

LayerStack::LayerStack(std::shared_ptr<Window> window, GtkWidget* overlay, Options options)
    : impl_(std::make_unique<Impl>()) {
  auto& d = *impl_;
  d.window = std::move(window);
  d.options = std::move(options);
  d.overlay = overlay;
  g_object_ref(overlay);
  d.positionHandler = g_signal_connect(overlay, "get-child-position", G_CALLBACK(&Impl::onChildPosition), &d);
  if (d.options.opaque) {
    GtkWidget* base = d.makeArea();
    gtk_container_add(GTK_CONTAINER(overlay), base);
    gtk_widget_show(base);
  } else {
    d.makeBlocker();
    d.addArea();
  }
  // On the top-level window, in the capture phase: it sees a press before the widget
  // under the pointer (a page, an entry, a host's button) and claims it only for a view
  // of the library.
  d.clickWidget = gtk_widget_get_toplevel(overlay);
  if (!GTK_IS_WINDOW(d.clickWidget)) d.clickWidget = overlay;
  d.clicks = gtk_gesture_multi_press_new(d.clickWidget);
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(d.clicks), GDK_BUTTON_PRIMARY);
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(d.clicks), GTK_PHASE_CAPTURE);
  g_signal_connect(d.clicks, "pressed", G_CALLBACK(&Impl::onPressed), &d);
  g_signal_connect(d.clicks, "released", G_CALLBACK(&Impl::onReleased), &d);

  d.window->setDisplayHandler([impl = &d] { impl->scheduleFrame(); });
  d.layout();
  d.scheduleFrame();
}

LayerStack::~LayerStack() {
  auto& d = *impl_;
  d.window->setDisplayHandler({});
  if (d.tick) gtk_widget_remove_tick_callback(d.overlay, d.tick);
  for (auto& p : d.pages) d.release(p);
  for (auto& e : d.entries) d.release(e);
  // The click gesture goes with its reference (it unhooks itself from the widget).
  g_object_unref(d.clicks);
  for (auto* a : d.areas) gtk_widget_destroy(a);
  if (d.blocker) {
    gtk_widget_destroy(d.blocker);
    g_object_unref(d.blocker);
  }
  g_signal_handler_disconnect(d.overlay, d.positionHandler);
  g_object_unref(d.overlay);
}

const std::shared_ptr<Window>& LayerStack::window() const { return impl_->window; }
GtkWidget* LayerStack::overlay() const { return impl_->overlay; }
std::uint64_t LayerStack::framesDrawn() const { return impl_->frames; }
std::size_t LayerStack::layerCount() const { return impl_->areas.size(); }
void LayerStack::queueDraw() { impl_->queueDraw(); }
void LayerStack::setAfterLayout(std::function<void()> hook) { impl_->afterLayout = std::move(hook); }

void LayerStack::setBlocking(bool on) {
  auto& d = *impl_;
  if (!d.blocker || on == gtk_widget_get_visible(d.blocker)) return;
  gtk_widget_set_visible(d.blocker, on);
}

GtkWidget* LayerStack::blocker() const { return impl_->blocker; }

void LayerStack::layoutIfNeeded() {
  if (impl_->window->needsDisplay()) impl_->layout();
}

bool LayerStack::writeScreenshot(const std::string& path) {
  auto& d = *impl_;
  layoutIfNeeded();
  GdkWindow* gdk = gtk_widget_get_window(d.overlay);
  if (!gdk || !gtk_widget_get_mapped(d.overlay)) return renderViewToPng(*d.window, path);
  // Let the next frame draw (bounded: a window that never draws is read as it is).
  std::uint64_t before = d.frames;
  d.queueDraw();
  bool late = false;
  guint timer = g_timeout_add(2000, +[](gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
  }, &late);
  while (d.frames == before && !late) g_main_context_iteration(nullptr, TRUE);
  if (!late) g_source_remove(timer);
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  gdk_display_sync(gdk_window_get_display(gdk));
  GtkAllocation a;
  gtk_widget_get_allocation(d.overlay, &a);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk, a.x, a.y, a.width, a.height);
  if (!pixbuf) return renderViewToPng(*d.window, path);
  GError* error = nullptr;
  bool ok = gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr);
  if (error) {
    logLine(std::string("screenshot not written: ") + error->message);
    g_error_free(error);
  }
  g_object_unref(pixbuf);
  return ok;
}

}  // namespace qvad
