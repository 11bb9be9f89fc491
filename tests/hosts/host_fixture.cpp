#include "host_fixture.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

#include "platform/gtk/host_screen.h"
#include "platform/main_queue.h"
#include "platform/toolkit/window.h"
#include "qvad/configuration.h"
#include "support/sandbox_process.h"

// Last: the X headers define macros that the headers above must not see.
#include <X11/Xatom.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace qvad::hosts {

void useSandbox() {
  static std::unique_ptr<testing::SandboxProcess> sandbox;  // one for the binary, stopped at exit
  if (!sandbox) {
    sandbox = std::make_unique<testing::SandboxProcess>(QVAD_SANDBOX_BIN);
    ASSERT_TRUE(sandbox->ok()) << sandbox->error();
    QvConfiguration::setApiBaseURL(sandbox->baseURL());
    QvConfiguration::setCAFile(sandbox->caFile());
  }
}

namespace {

Display* xdisplay() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

}  // namespace

void personClickAt(int rootX, int rootY) {
  Display* d = xdisplay();
  XTestFakeMotionEvent(d, -1, rootX, rootY, CurrentTime);
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XTestFakeButtonEvent(d, 1, False, CurrentTime);
  XFlush(d);
  // Let the display server deliver both before anything else is asked of it.
  XSync(d, False);
}

void widgetToRoot(GtkWidget* widget, int x, int y, int& rootX, int& rootY) {
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  int tx = 0, ty = 0, ox = 0, oy = 0;
  gtk_widget_translate_coordinates(widget, top, x, y, &tx, &ty);
  gdk_window_get_origin(gtk_widget_get_window(top), &ox, &oy);
  rootX = ox + tx;
  rootY = oy + ty;
}

void personClick(GtkWidget* widget) {
  int x = 0, y = 0;
  widgetToRoot(widget, gtk_widget_get_allocated_width(widget) / 2, gtk_widget_get_allocated_height(widget) / 2, x, y);
  personClickAt(x, y);
}

void personClickInHost(const QvHostWindow& host, Point p) {
  GtkWidget* w = hostScreenWidget(host);
  ASSERT_NE(w, nullptr) << "the host screen is not on the display";
  int x = 0, y = 0;
  widgetToRoot(w, static_cast<int>(p.x), static_cast<int>(p.y), x, y);
  personClickAt(x, y);
}

void personClickOn(const QvHostWindow& host, const View& view) {
  const Rect f = frameInHost(view);
  personClickInHost(host, f.center());
}

bool windowManagerRuns() {
  Display* d = xdisplay();
  Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type;
  int format;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool runs = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                                 &after, &data) == Success &&
              count == 1;
  if (data) XFree(data);
  return runs;
}

bool runUntil(const std::function<bool()>& done, double seconds, const std::function<void()>& step) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    if (step) {
      step();
    } else {
      // Wakes at least every 10 ms, so a condition that no event announces is seen.
      bool fired = false;
      guint timer = g_timeout_add(10, +[](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      }, &fired);
      g_main_context_iteration(nullptr, TRUE);
      if (!fired) g_source_remove(timer);
    }
  }
  return true;
}

void runFor(double seconds, const std::function<void()>& step) {
  runUntil([] { return false; }, seconds, step);
}

std::shared_ptr<View> hostView(const QvHostWindow& host) {
  auto v = host.view();
  return v ? std::static_pointer_cast<View>(v->window()) : nullptr;
}

namespace {

std::shared_ptr<Button> findButtonIn(const std::shared_ptr<View>& root, const std::string& title) {
  if (!root || root->isHidden()) return nullptr;
  const auto subs = root->subviewsInDrawingOrder();
  for (auto it = subs.rbegin(); it != subs.rend(); ++it)
    if (auto found = findButtonIn(*it, title)) return found;
  auto button = std::dynamic_pointer_cast<Button>(root);
  return button && button->title() == title ? button : nullptr;
}

}  // namespace

std::shared_ptr<Button> findButton(const QvHostWindow& host, const std::string& title) {
  return findButtonIn(hostView(host), title);
}

std::shared_ptr<BaseWKWebViewController> presentedContainer(const QvHostWindow& host) {
  for (auto c = host.viewController()->presentedViewController(); c; c = c->presentedViewController())
    if (auto web = std::dynamic_pointer_cast<BaseWKWebViewController>(c)) return web;
  return nullptr;
}

bool covered(const QvHostWindow& host) { return host.viewController()->presentedViewController() != nullptr; }

Rect frameInHost(const View& view) {
  const Rect b = view.bounds();
  const Point o = view.convertToWindow({0, 0});
  return {o.x, o.y, b.width(), b.height()};
}

bool writeWindowPng(GtkWidget* toplevel, const std::string& path) {
  runFor(0.3);  // pending frames drawn
  GdkWindow* gdk = gtk_widget_get_window(toplevel);
  gdk_display_sync(gdk_window_get_display(gdk));
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk, 0, 0, gdk_window_get_width(gdk), gdk_window_get_height(gdk));
  if (!pixbuf) return false;
  bool ok = gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  return ok;
}

std::string evaluate(WebView& page, const std::string& script, const std::function<void()>& step) {
  bool done = false;
  std::string out;
  page.evaluateJavaScript(script, [&](std::optional<nlohmann::json> result, std::optional<PlatformError>) {
    if (result && result->is_string()) out = result->get<std::string>();
    if (result && result->is_number()) out = result->dump();
    done = true;
  });
  runUntil([&] { return done; }, 10, step);
  return out;
}

void expectPageHearsMinimiseAndRestore(WebView& page, const std::function<void()>& iconify,
                                       const std::function<void()>& restore, const std::function<void()>& step) {
  if (!windowManagerRuns()) {
    std::printf("no window manager on this display: minimising left out\n");
    return;
  }
  evaluate(page,
           "native.on('background', function () { window.__bg = (window.__bg || 0) + 1; });"
           "native.on('foreground', function () { window.__fg = (window.__fg || 0) + 1; }); 'ok'",
           step);
  auto heard = [&](const char* count) {
    return runUntil([&] { return evaluate(page, std::string("String(window.") + count + " || 0)", step) == "1"; }, 10,
                    step);
  };
  iconify();
  EXPECT_TRUE(heard("__bg")) << "minimised: the page heard no native.onbackground()";
  restore();
  EXPECT_TRUE(heard("__fg")) << "restored: the page heard no native.onforeground()";
  runFor(0.5, step);
}

}  // namespace qvad::hosts
