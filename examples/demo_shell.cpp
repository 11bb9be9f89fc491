// Demo-side tooling (see demo_shell.h): the only file of the demo with internal headers.
#include "demo_shell.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/gtk/host_screen.h"
#include "platform/toolkit/button.h"
#include "platform/toolkit/view_controller.h"
#include "platform/toolkit/window.h"
#include "platform/web_view.h"
#include "qvad/host_window.h"
#include "sdk/qv_inter_active_ad_view.h"

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

std::shared_ptr<QvInterActiveAdView> badgeOf(const QvHostWindow& host) {
  for (const auto& v : host.view()->subviews())
    if (auto b = std::dynamic_pointer_cast<QvInterActiveAdView>(v); b && !b->isHidden()) return b;
  return nullptr;
}

bool tapCentreOf(const View& v) {
  auto window = v.window();
  if (!window) return false;
  const Rect f = v.frame();
  return window->sendTap(v.superview() ? v.superview()->convertToWindow(f.center()) : f.center());
}

}  // namespace

bool Person::tapBadge() {
  auto b = badgeOf(host_);
  return b && b->gifView() && tapCentreOf(*b->gifView());
}

bool Person::tapBadgeClose() {
  auto b = badgeOf(host_);
  return b && b->closeButton() && tapCentreOf(*b->closeButton());
}

bool Person::tapButton(const std::string& title) {
  auto button = findVisible<Button>(host_.view()->window(), [&](Button& b) { return b.title() == title; });
  return button && tapCentreOf(*button);
}

bool Person::clickInPage(const std::string& selector) {
  auto page = findVisible<WebView>(host_.view()->window(), [](WebView&) { return true; });
  if (!page) return false;
  // The selector is the demo's own constant, never text from a page.
  page->evaluateJavaScript("document.querySelector('" + selector + "').click()");
  return true;
}

bool Person::badgeVisible() const { return badgeOf(host_) != nullptr; }

bool Person::covered() const { return host_.viewController()->presentedViewController() != nullptr; }

bool Person::screenshot(const std::string& path) { return writeHostScreenshot(host_, path); }

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
