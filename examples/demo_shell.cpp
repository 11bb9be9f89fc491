// Demo-side tooling (see demo_shell.h): the only file of the demo with internal headers.
#include "demo_shell.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/render/renderer.h"
#include "platform/toolkit/button.h"
#include "platform/toolkit/label.h"
#include "platform/toolkit/view_controller.h"
#include "platform/toolkit/window.h"
#include "platform/web_view.h"
#include "sdk/qv_inter_active_ad_view.h"

#if QVAD_DEMO_GTK
#include <gtk/gtk.h>

#include "platform/gtk/window_gtk.h"
#endif

namespace demo {

using namespace qvad;

namespace {

template <class T>
std::shared_ptr<T> findVisible(const std::shared_ptr<View>& root, const std::function<bool(T&)>& match) {
  if (!root || root->isHidden()) return nullptr;
  // Front-most first: what a person sees on top is what they would tap.
  const auto subs = root->subviewsInDrawingOrder();
  for (auto it = subs.rbegin(); it != subs.rend(); ++it)
    if (auto found = findVisible<T>(*it, match)) return found;
  if (auto self = std::dynamic_pointer_cast<T>(root); self && match(*self)) return self;
  return nullptr;
}

}  // namespace

struct Shell::Impl {
  // A phone-sized window: the size of the main screen, which full-screen ads fill.
  std::shared_ptr<Window> window;
  double width = 0;
  std::shared_ptr<ViewController> host;
  std::shared_ptr<Label> status;
  std::vector<std::shared_ptr<View>> ownViews;
  double nextButtonY = 200;
  std::function<void()> closed;
#if QVAD_DEMO_GTK
  std::unique_ptr<DesktopWindow> desktop;
#endif

  std::shared_ptr<QvInterActiveAdView> badge() const {
    for (const auto& v : host->view()->subviews())
      if (auto b = std::dynamic_pointer_cast<QvInterActiveAdView>(v); b && !b->isHidden()) return b;
    return nullptr;
  }
  bool tapCentreOf(const View& v) {
    const Rect f = v.frame();
    return window->sendTap(v.superview() ? v.superview()->convertToWindow(f.center()) : f.center());
  }
  std::shared_ptr<View> add(std::shared_ptr<View> v) {
    host->view()->addSubview(v);
    ownViews.push_back(v);
    return v;
  }
};

bool Shell::openDisplay([[maybe_unused]] int& argc, [[maybe_unused]] char**& argv, std::string& error) {
#if QVAD_DEMO_GTK
  // A virtual frame buffer has no GL: the engine draws without compositing there.
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("NO_AT_BRIDGE", "1", 0);
  if (!gtk_init_check(&argc, &argv)) {
    error = "no display (run it under xvfb-run, or through make demo)";
    return false;
  }
#else
  (void)error;
#endif
  return true;
}

Shell::Shell(const std::string& title) : impl_(std::make_unique<Impl>()) {
  auto& d = *impl_;
  d.window = std::make_shared<Window>();
  d.width = d.window->frame().width();
  d.host = std::make_shared<ViewController>();
  d.window->setRootViewController(d.host);
  d.window->makeKeyAndVisible();
  d.host->view()->setBackgroundColor(Color::rgb(236, 239, 244));

  auto bar = View::make<View>(Rect{0, 0, d.width, 64});
  bar->setBackgroundColor(Color::rgb(40, 60, 96));
  d.add(bar);
  auto heading = View::make<Label>(Rect{16, 18, d.width - 32, 30});
  heading->setText(title);
  heading->setFont(Font::boldSystemFont(20));
  heading->setTextColor(Color::white());
  d.add(heading);
  auto note = View::make<Label>(Rect{16, 80, d.width - 32, 60});
  note->setText("A host application's own screen. The ads appear over it.");
  note->setNumberOfLines(0);
  note->setTextColor(Color::rgb(60, 60, 60));
  d.add(note);
  d.status = View::make<Label>(Rect{16, 150, d.width - 32, 40});
  d.status->setFont(Font::systemFont(14));
  d.status->setTextColor(Color::rgb(20, 90, 40));
  d.status->setNumberOfLines(2);
  d.add(d.status);

#if QVAD_DEMO_GTK
  d.desktop = std::make_unique<DesktopWindow>(d.window, title);
  g_signal_connect(d.desktop->widget(), "delete-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                     auto* impl = static_cast<Impl*>(self);
                     if (impl->closed) impl->closed();
                     return TRUE;  // the host decides when its window goes
                   }),
                   impl_.get());
#endif
}

Shell::~Shell() = default;

std::shared_ptr<ViewController> Shell::rootViewController() const { return impl_->host; }
std::shared_ptr<View> Shell::contentView() const { return impl_->host->view(); }
void Shell::setStatus(const std::string& text) { impl_->status->setText(text); }
void Shell::onWindowClosed(std::function<void()> action) { impl_->closed = std::move(action); }

void Shell::addButton(const std::string& title, std::function<void()> action) {
  auto& d = *impl_;
  auto button = View::make<Button>(Rect{16, d.nextButtonY, d.width - 32, 44});
  button->setTitle(title);
  button->setTitleColor(Color::white());
  button->setBackgroundColor(Color::rgb(59, 120, 200));
  button->setCornerRadius(8);
  button->addTarget(ControlEvent::touchUpInside, std::move(action));
  d.add(button);
  d.nextButtonY += 56;
}

bool Shell::tapBadge() {
  auto b = impl_->badge();
  return b && b->gifView() && impl_->tapCentreOf(*b->gifView());
}

bool Shell::tapBadgeClose() {
  auto b = impl_->badge();
  return b && b->closeButton() && impl_->tapCentreOf(*b->closeButton());
}

bool Shell::tapButton(const std::string& title) {
  auto button = findVisible<Button>(impl_->window, [&](Button& b) { return b.title() == title; });
  return button && impl_->tapCentreOf(*button);
}

bool Shell::clickInPage(const std::string& selector) {
  auto page = findVisible<WebView>(impl_->window, [](WebView&) { return true; });
  if (!page) return false;
  // The selector is the demo's own constant, never text from a page.
  page->evaluateJavaScript("document.querySelector('" + selector + "').click()");
  return true;
}

bool Shell::badgeVisible() const { return impl_->badge() != nullptr; }

bool Shell::covered() const { return impl_->host->presentedViewController() != nullptr; }

bool Shell::screenshot(const std::string& path) {
#if QVAD_DEMO_GTK
  return impl_->desktop->writeScreenshot(path);
#else
  return renderViewToPng(*impl_->window, path);
#endif
}

Sandbox::Sandbox(const std::string& demoPath, const std::string& stateDir) {
  namespace fs = std::filesystem;
  const fs::path binary = fs::path(demoPath).parent_path().parent_path() / "server" / "qvad-sandbox";
  int out[2];
  if (pipe(out) != 0) {
    error_ = "pipe failed";
    return;
  }
  std::error_code ec;
  fs::create_directories(stateDir, ec);
  const std::string console = stateDir + "/console.log";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    int log = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (log >= 0) dup2(log, 2);
    close(out[0]);
    execl(binary.c_str(), binary.c_str(), "--port", "0", "--state", stateDir.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  if (pid_ < 0) {
    close(out[0]);
    error_ = "fork failed";
    return;
  }
  // The first line: "listening https://127.0.0.1:PORT ca=PATH".
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, 30000) > 0) {
    char buf[256];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  // The read end stays open: a later console line must not meet a closed pipe.
  readEnd_ = out[0];
  const auto ca = line.find(" ca=");
  if (line.rfind("listening ", 0) != 0 || ca == std::string::npos) {
    error_ = "the sandbox (" + binary.string() + ") did not start; see " + console;
    return;
  }
  baseURL_ = line.substr(10, ca - 10);
  caFile_ = line.substr(ca + 4, line.find('\n') - ca - 4);
}

Sandbox::~Sandbox() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (readEnd_ >= 0) close(readEnd_);
}

}  // namespace demo
