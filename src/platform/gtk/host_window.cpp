// The public host-window type over its two ways in (host_window_gtk.cpp for a GTK host's
// own window, host_window_x11.cpp for another toolkit's X11 window), and what both
// share: the key window, the application's foreground state, closing ads on detach.
#include "qvad/host_window.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/fatal.h"
#include "platform/gtk/host_screen.h"
#include "platform/log.h"
#include "platform/main_queue.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/screen.h"
#include "web/base_wk_web_view_controller.h"

namespace qvad {
namespace {

void requireMainThread(const char* call) {
  if (!MainQueue::main().isMainThread())
    fatalError(std::string("QvHostWindow::") + call +
               " called off the main thread; host windows are made and used on the main thread only");
}

// Host windows alive now, oldest first; main thread only.
struct Registry {
  std::vector<std::weak_ptr<QvHostWindow>> hosts;
  std::vector<QvHostWindow::Impl*> attached;
  std::map<const QvHostWindow*, QvHostWindow::Impl*> impls;  // every host window alive
  bool evaluating = false;
};

Registry& registry() {
  static auto* r = new Registry();  // lives for the process, like the application
  return *r;
}

std::shared_ptr<QvHostWindow> findLive(const std::function<bool(const QvHostWindow&)>& match) {
  auto& hosts = registry().hosts;
  std::erase_if(hosts, [](const std::weak_ptr<QvHostWindow>& w) { return w.expired(); });
  for (const auto& w : hosts) {
    if (auto h = w.lock(); h && h->isAttached() && match(*h)) return h;
  }
  return nullptr;
}

void evaluateActivity() {
  auto& r = registry();
  r.evaluating = false;
  if (r.attached.empty()) return;  // nothing on screen decides
  const bool foreground = std::any_of(r.attached.begin(), r.attached.end(), [](auto* h) { return h->foreground(); });
  Application::shared().setApplicationState(foreground ? ApplicationState::active : ApplicationState::background);
}

}  // namespace

// Whether any top-level window of this process has the keyboard focus: a host's dialog
// or one of the library's own windows counts as the application's.
bool anyToplevelActive() {
  GList* all = gtk_window_list_toplevels();
  bool active = false;
  for (GList* l = all; l && !active; l = l->next) active = gtk_window_is_active(GTK_WINDOW(l->data));
  g_list_free(all);
  return active;
}

void HostScreenController::loadView() {
  auto v = View::make(Screen::main().bounds());
  v->setBackgroundColor(std::nullopt);  // the host's own widgets show through
  setView(std::move(v));
}

QvHostWindow::Impl::Impl() : window(std::make_shared<Window>()), controller(std::make_shared<HostScreenController>()) {
  window->setRootViewController(controller);
  registry().attached.push_back(this);
}

QvHostWindow::Impl::~Impl() { std::erase(registry().attached, this); }

void QvHostWindow::Impl::activityChanged() {
  auto& r = registry();
  if (r.evaluating) return;
  r.evaluating = true;
  dispatchMain(evaluateActivity);
}

void QvHostWindow::Impl::resized(double width, double height) {
  if (width <= 0 || height <= 0) return;
  const Rect frame{0, 0, width, height};
  // The screen first: the controllers' layouts that the new frame sets off read it.
  if (window->isKeyWindow()) Screen::configure(width, height);
  if (window->frame() != frame) window->setFrame(frame);
}

void QvHostWindow::Impl::focused() {
  if (!attached) return;
  if (!window->isKeyWindow()) window->makeKeyAndVisible();
  Rect f = window->frame();
  Screen::configure(f.width(), f.height());
  activityChanged();
}

bool QvHostWindow::Impl::covered() const {
  const auto& subs = window->subviews();
  // A presented controller's view covers; a toast laid on the window does not.
  return std::any_of(subs.begin(), subs.end(), [&](const auto& v) {
    return v != controller->view() && !v->isHidden() && v->owningViewController() != nullptr;
  });
}

bool QvHostWindow::Impl::passesClicks(const View& view) const {
  return &view == window.get() || &view == controller->view().get();
}

void QvHostWindow::Impl::detach() {
  if (!attached) return;
  attached = false;
  std::erase(registry().attached, this);

  // Ads still up close as if their close button was used: will-close now, did-close once
  // the dismissal has run (on a later turn; the controllers keep themselves alive until then).
  std::vector<std::weak_ptr<BaseWKWebViewController>> ads;
  for (auto c = controller->presentedViewController(); c; c = c->presentedViewController()) {
    if (auto ad = std::dynamic_pointer_cast<BaseWKWebViewController>(c)) {
      ad->emit("adWillClose");
      ads.push_back(ad);
    }
  }
  if (controller->presentedViewController()) {
    auto dismiss = [host = controller, ads] {
      host->dismiss(false, [ads] {
        for (const auto& w : ads)
          if (auto ad = w.lock()) ad->emit("adDidClose");
      });
    };
    controller->whenTransitionsEnd(dismiss);
  }
  // Floating badges belong to the host's screen that goes now.
  for (const auto& v : std::vector(controller->view()->subviews())) v->removeFromSuperview();

  teardown();

  if (window->isKeyWindow()) {
    auto& r = registry();
    std::shared_ptr<Window> next;
    for (auto* h : r.attached) next = h->window;  // the last attached one left
    Application::shared().setKeyWindow(next);
    if (next) Screen::configure(next->frame().width(), next->frame().height());
  }
  activityChanged();
}

namespace {

QvHostWindow::Impl* attachedImpl(const QvHostWindow& host) {
  auto& impls = registry().impls;
  auto it = impls.find(&host);
  return it != impls.end() && it->second->attached ? it->second : nullptr;
}

}  // namespace

bool writeHostScreenshot(const QvHostWindow& host, const std::string& path) {
  auto* impl = attachedImpl(host);
  return impl && impl->writeScreenshot(path);
}

GtkWidget* hostScreenWidget(const QvHostWindow& host) {
  auto* impl = attachedImpl(host);
  return impl ? impl->screenWidget() : nullptr;
}

QvHostWindow::QvHostWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
  registry().impls[this] = impl_.get();
}

QvHostWindow::~QvHostWindow() {
  if (impl_->attached) {
    requireMainThread("~QvHostWindow");
    impl_->detach();
  }
  registry().impls.erase(this);
}

std::shared_ptr<QvHostWindow> QvHostWindow::attach(GtkWindow* window) {
  requireMainThread("attach");
  if (!window || !GTK_IS_WINDOW(window)) {
    logLine("QvHostWindow::attach: not a GtkWindow; nothing attached");
    return nullptr;
  }
  if (auto same = findLive([&](const QvHostWindow& h) { return h.impl_->identity() == window; })) return same;
  auto impl = makeGtkHost(window, false);
  if (!impl) return nullptr;
  auto host = std::shared_ptr<QvHostWindow>(new QvHostWindow(std::move(impl)));
  registry().hosts.push_back(host);
  host->impl_->focused();  // the last attached is the key host window
  return host;
}

std::shared_ptr<QvHostWindow> QvHostWindow::overNativeWindow(unsigned long x11Window) {
  requireMainThread("overNativeWindow");
  if (!gtk_init_check(nullptr, nullptr)) {
    logLine("QvHostWindow::overNativeWindow: no display could be opened; nothing attached");
    return nullptr;
  }
  std::unique_ptr<Impl> impl;
  if (x11Window == 0) {
    impl = makeGtkHost(nullptr, true);
  } else {
    if (auto same = findLive([&](const QvHostWindow& h) { return h.nativeWindow() == x11Window; })) return same;
    impl = makeX11Host(x11Window);
  }
  if (!impl) return nullptr;
  auto host = std::shared_ptr<QvHostWindow>(new QvHostWindow(std::move(impl)));
  registry().hosts.push_back(host);
  host->impl_->focused();
  return host;
}

std::shared_ptr<ViewController> QvHostWindow::viewController() const { return impl_->controller; }
std::shared_ptr<View> QvHostWindow::view() const { return impl_->controller->view(); }

void QvHostWindow::detach() {
  requireMainThread("detach");
  impl_->detach();
}

bool QvHostWindow::isAttached() const { return impl_->attached; }
unsigned long QvHostWindow::nativeWindow() const { return impl_->nativeWindow(); }

}  // namespace qvad
