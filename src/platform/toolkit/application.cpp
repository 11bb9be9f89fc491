#include "platform/toolkit/application.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "platform/service_slot.h"
#include "platform/toolkit/window.h"

#if QVAD_BACKEND_GTK
#include "platform/gtk/url_opener_gio.h"
#endif

namespace qvad {
namespace {

std::string schemeOf(const std::string& url) {
  auto colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return "";
  std::string scheme = url.substr(0, colon);
  if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return "";
  for (char& c : scheme) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '+' && c != '-' && c != '.') return "";
    c = static_cast<char>(std::tolower(u));
  }
  return scheme;
}

// Nothing to hand URLs to without a desktop: taking them is enough, openedURLs() keeps them.
class RecordingUrlOpener final : public UrlOpener {
 public:
  bool open(const std::string&) override { return true; }
};

std::shared_ptr<UrlOpener> makeRecordingUrlOpener() {
#if QVAD_BACKEND_GTK
  return std::make_shared<GioUrlOpener>();  // the desktop's own handlers
#else
  return std::make_shared<RecordingUrlOpener>();
#endif
}

}  // namespace

ServiceSlot<UrlOpener>& UrlOpener::slot() {
  static auto* slot = new ServiceSlot<UrlOpener>("URL opener", makeRecordingUrlOpener);
  return *slot;
}

Application& Application::shared() {
  static Application* app = new Application();  // lives for the process
  return *app;
}

void Application::setKeyWindow(std::shared_ptr<Window> window) {
  if (window == keyWindow_) return;
  auto old = std::exchange(keyWindow_, std::move(window));
  auto current = keyWindow_;
  auto& center = NotificationCenter::defaultCenter();
  if (old) center.post(kWindowDidResignKeyNotification, old.get());
  // An observer of the resignation that changed the key window again has posted for it.
  if (current && keyWindow_ == current) center.post(kWindowDidBecomeKeyNotification, current.get());
}

bool Application::canOpenURL(const std::string& url) const {
  std::string scheme = schemeOf(url);
  return !scheme.empty() && scheme != "file" && scheme != "javascript" && scheme != "data";
}

bool Application::openURLNow(const std::string& url) {
  if (!canOpenURL(url)) return false;
  opened_.push_back(url);
  return UrlOpener::slot().get()->open(url);
}

void Application::openURL(const std::string& url, std::function<void(bool)> completion) {
  const bool taken = openURLNow(url);
  if (completion) dispatchMain([completion = std::move(completion), taken] { completion(taken); });
}

void Application::setApplicationState(ApplicationState state) {
  if (state == state_) return;
  auto& center = NotificationCenter::defaultCenter();
  ApplicationState old = state_;
  if (old == ApplicationState::active) center.post(kApplicationWillResignActiveNotification, this);
  if (old == ApplicationState::background) center.post(kApplicationWillEnterForegroundNotification, this);
  state_ = state;
  if (state == ApplicationState::background) center.post(kApplicationDidEnterBackgroundNotification, this);
  if (state == ApplicationState::active) center.post(kApplicationDidBecomeActiveNotification, this);
}

}  // namespace qvad
