// The desktop window on a real display: clicks become the taps tests send, changes and
// only changes repaint, pages' widgets sit between drawing layers, entries edit text
// fields. Part of the engine tests: a real display, GTK initialised, the GLib main queue.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <vector>

#include "engine_fixture.h"
#include "platform/gtk/native_widget.h"
#include "platform/gtk/url_opener_gio.h"
#include "platform/gtk/window_gtk.h"
#include "platform/headless/scripted_web_view.h"
#include "platform/main_queue.h"
#include "platform/toolkit/alert_controller.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/button.h"

namespace qvad {
namespace {

using test::click;
using test::personClick;
using test::pointer;

// Runs the GLib main context (GTK, the engine and the library's main queue) until `done`
// or a generous bound.
bool pump(const std::function<bool()>& done, double seconds = 5) {
  gint64 end = g_get_monotonic_time() + static_cast<gint64>(seconds * G_USEC_PER_SEC);
  while (!done()) {
    if (g_get_monotonic_time() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

void settle(DesktopWindow& w) {
  ASSERT_TRUE(pump([&] { return w.framesDrawn() > 0 && !w.window()->needsDisplay(); }));
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

// The pixel at a point of a screenshot of the window.
std::array<int, 3> shotPixel(DesktopWindow& w, int x, int y) {
  std::string path = ::testing::TempDir() + "/qvad-window-shot.png";
  EXPECT_TRUE(w.writeScreenshot(path));
  GdkPixbuf* pb = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
  if (!pb) return {-1, -1, -1};
  const guchar* p = gdk_pixbuf_get_pixels(pb) + y * gdk_pixbuf_get_rowstride(pb) + x * gdk_pixbuf_get_n_channels(pb);
  std::array<int, 3> rgb{p[0], p[1], p[2]};
  g_object_unref(pb);
  return rgb;
}

// A page shown by a plain green widget, as the engine's view shows its page; it counts the
// presses that reach it.
class GreenPage : public ScriptedWebView, public NativeWidgetView {
 public:
  explicit GreenPage(Rect frame) : ScriptedWebView(frame, {}) {
    widget_ = gtk_drawing_area_new();
    g_object_ref_sink(widget_);
    g_signal_connect(widget_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) {
                       cairo_set_source_rgb(cr, 0, 1, 0);
                       cairo_paint(cr);
                       return TRUE;
                     }), nullptr);
    gtk_widget_add_events(widget_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);  // as a page selects
    g_signal_connect(widget_, "button-press-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                       ++static_cast<GreenPage*>(self)->presses;
                       return TRUE;
                     }), this);
  }
  int presses = 0;
  ~GreenPage() override { g_object_unref(widget_); }
  GtkWidget* nativeWidget() override { return widget_; }

 private:
  GtkWidget* widget_;
};

class DesktopWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = std::make_shared<ViewController>();
    window = std::make_shared<Window>();  // the screen's size, which alerts lay out for
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    Application::shared().setKeyWindow(nullptr);
    window.reset();
    root.reset();
    MainQueue::main().runUntilIdle();  // the engine finishes tearing its views down
  }

  std::shared_ptr<ViewController> root;
  std::shared_ptr<Window> window;
};

TEST_F(DesktopWindowTest, ClickOnAButtonFiresTouchUpInsideOnlyWhenReleasedOverIt) {
  auto button = View::make<Button>(Rect{20, 20, 100, 44});
  int fired = 0;
  button->addTarget(ControlEvent::touchUpInside, [&] { ++fired; });
  root->view()->addSubview(button);
  DesktopWindow desktop(window);
  settle(desktop);

  click(desktop, 70, 42);
  EXPECT_EQ(fired, 1);
  click(desktop, 300, 200);  // beside it
  EXPECT_EQ(fired, 1);
  pointer(desktop, GDK_BUTTON_PRESS, 70, 42);  // dragged off before release
  pointer(desktop, GDK_BUTTON_RELEASE, 200, 200);
  EXPECT_EQ(fired, 1);
}

TEST_F(DesktopWindowTest, RepaintsAfterAChangeAndNotWithout) {
  auto square = View::make(Rect{100, 100, 40, 40});
  square->setBackgroundColor(Color::rgb(0, 0, 255));
  root->view()->addSubview(square);
  DesktopWindow desktop(window);
  settle(desktop);
  EXPECT_EQ(shotPixel(desktop, 120, 120), (std::array<int, 3>{0, 0, 255}));

  auto frames = desktop.framesDrawn();
  settle(desktop);
  EXPECT_EQ(desktop.framesDrawn(), frames);  // nothing changed: nothing drawn

  square->setBackgroundColor(Color::rgb(255, 0, 0));
  ASSERT_TRUE(pump([&] { return desktop.framesDrawn() > frames; }));
  EXPECT_EQ(shotPixel(desktop, 120, 120), (std::array<int, 3>{255, 0, 0}));
}

TEST_F(DesktopWindowTest, AnimationKeepsFramesComingUntilItEnds) {
  auto view = View::make(Rect{10, 10, 20, 20});
  root->view()->addSubview(view);
  DesktopWindow desktop(window);
  settle(desktop);
  auto solid = [](std::uint32_t argb) { return std::make_shared<Image>(1, 1, 1, std::vector<std::uint32_t>{argb}); };
  KeyframeAnimation a;
  a.values = {solid(0xffff0000), solid(0xff0000ff), solid(0xff00ff00), solid(0xffffffff)};
  a.duration = 0.4;
  auto start = desktop.framesDrawn();
  view->addAnimation("anim", a);
  // Several frames for one change: the animation, not the change, drives them.
  ASSERT_TRUE(pump([&] { return desktop.framesDrawn() >= start + 4; }));
  ASSERT_TRUE(pump([&] { return !window->animationState(MainQueue::main().now()).running; }));
  settle(desktop);
  auto after = desktop.framesDrawn();
  // One frame per image shown and one for the end, not one per tick (24 in 0.4 s).
  EXPECT_LE(after - start, 8u);
  settle(desktop);
  EXPECT_EQ(desktop.framesDrawn(), after);
}

TEST_F(DesktopWindowTest, FollowingTheKeyWindowOpensAndClosesDesktopWindows) {
  auto toplevels = [] {
    GList* list = gtk_window_list_toplevels();
    guint n = 0;
    for (GList* l = list; l; l = l->next) n += gtk_widget_get_visible(GTK_WIDGET(l->data));
    g_list_free(list);
    return n;
  };
  guint before = toplevels();
  DesktopWindow::followKeyWindow(true);  // the current key window shows at once
  EXPECT_EQ(toplevels(), before + 1);
  auto other = std::make_shared<Window>();
  other->makeKeyAndVisible();  // the old one closes, the new one opens
  EXPECT_EQ(toplevels(), before + 1);
  Application::shared().setKeyWindow(nullptr);
  EXPECT_EQ(toplevels(), before);
  DesktopWindow::followKeyWindow(false);
  window->makeKeyAndVisible();
  EXPECT_EQ(toplevels(), before);
}

TEST_F(DesktopWindowTest, PageWidgetSitsBetweenLayersAndLeavesWithItsView) {
  auto page = View::make<GreenPage>(Rect{0, 40, 320, 160});
  root->view()->addSubview(page);
  auto toast = View::make(Rect{140, 100, 40, 40});  // painted after the page: above it
  toast->setBackgroundColor(Color::rgb(0, 0, 255));
  root->view()->addSubview(toast);
  DesktopWindow desktop(window);
  settle(desktop);
  EXPECT_EQ(desktop.layerCount(), 2u);
  EXPECT_NE(gtk_widget_get_parent(page->nativeWidget()), nullptr);
  EXPECT_EQ(shotPixel(desktop, 20, 120), (std::array<int, 3>{0, 255, 0}));   // the page
  EXPECT_EQ(shotPixel(desktop, 160, 120), (std::array<int, 3>{0, 0, 255}));  // above the page

  bool taken = false;  // clicks on the page go to the page, not to the tree
  root->view()->addTapHandler([&] { taken = true; });
  click(desktop, 20, 120);
  EXPECT_FALSE(taken);

  // A person's clicks, as the display server delivers them, go through the layer above
  // the page to the page, and to the tree where a view is drawn over it.
  bool toastTapped = false;
  toast->addTapHandler([&] { toastTapped = true; });
  personClick(desktop, 160, 120);
  ASSERT_TRUE(pump([&] { return toastTapped; }));
  personClick(desktop, 20, 120);
  ASSERT_TRUE(pump([&] { return page->presses == 1; }));
  EXPECT_FALSE(taken);

  page->setFrame({0, 1000, 320, 160});  // out of the window: no widget, and what
  settle(desktop);                      // was above it is still drawn
  EXPECT_EQ(gtk_widget_get_parent(page->nativeWidget()), nullptr);
  EXPECT_EQ(desktop.layerCount(), 1u);
  EXPECT_EQ(shotPixel(desktop, 160, 120), (std::array<int, 3>{0, 0, 255}));

  page->setFrame({0, 40, 320, 160});
  settle(desktop);
  EXPECT_EQ(desktop.layerCount(), 2u);
  page->removeFromSuperview();
  settle(desktop);
  EXPECT_EQ(gtk_widget_get_parent(page->nativeWidget()), nullptr);
  EXPECT_EQ(desktop.layerCount(), 1u);
  EXPECT_EQ(shotPixel(desktop, 20, 120), (std::array<int, 3>{255, 255, 255}));
}

TEST_F(DesktopWindowTest, AlertTextFieldIsEditedThroughARealEntry) {
  DesktopWindow desktop(window);
  auto alert = std::make_shared<AlertController>("Prompt", std::nullopt);
  alert->addTextField([](TextField& f) { f.setText("default"); });
  alert->addAction({"OK", AlertActionStyle::defaultStyle, nullptr});
  root->present(alert, false);
  GtkEntry* entry = nullptr;
  ASSERT_TRUE(pump([&] { return (entry = test::shownEntry(desktop)) != nullptr; }));
  EXPECT_STREQ(gtk_entry_get_text(entry), "default");
  gtk_entry_set_text(entry, "typed by the user");
  EXPECT_EQ(alert->textFields()[0]->text(), "typed by the user");
  alert->textFields()[0]->setText("from the library");
  ASSERT_TRUE(pump([&] { return std::string(gtk_entry_get_text(entry)) == "from the library"; }));
  root->dismiss(false);
  ASSERT_TRUE(pump([&] { return !root->presentedViewController(); }));
}

TEST(DesktopServices, UrlsOnlyWebMailAndPhoneLinksNotificationsDeniedWithoutABus) {
  for (const char* ok : {"https://example.com/x", "HTTP://example.com", "mailto:a@example.com", "tel:+123", "sms:123"})
    EXPECT_TRUE(isDesktopOpenableURL(ok)) << ok;
  for (const char* bad : {"file:///etc/passwd", "javascript:alert(1)", "data:text/html,hi", "https:no-host",
                          "app-settings:", "ssh://host", "https://exa mple.com", "https://a\n.com", "", "nocolon"})
    EXPECT_FALSE(isDesktopOpenableURL(bad)) << bad;
  // Notifications: no session bus, no notification service to ask.
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  std::string saved = bus ? bus : "";
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  queryDesktopNotificationAuthorization();
  EXPECT_EQ(Application::shared().notificationAuthorization(), NotificationAuthorization::denied);
  if (bus) setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);

  GioUrlOpener opener;
  EXPECT_FALSE(opener.open(Application::openSettingsURLString));
  EXPECT_FALSE(opener.open("file:///etc/passwd"));
}

}  // namespace
}  // namespace qvad
