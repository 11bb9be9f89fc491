#include "ui/open_sfvc_manager.h"

#include <cctype>

#include "net/utils.h"
#include "platform/main_queue.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/window.h"

namespace qvad {
namespace {

std::shared_ptr<ViewController> topOfKeyWindow() {
  auto window = Application::shared().keyWindow();
  return Utils::topViewControllerWithRootViewController(window ? window->rootViewController() : nullptr);
}

}  // namespace

OpenSFVCManager& OpenSFVCManager::shared() {
  static std::shared_ptr<OpenSFVCManager>* holder = new std::shared_ptr<OpenSFVCManager>(make());
  return **holder;
}

std::shared_ptr<OpenSFVCManager> OpenSFVCManager::make() { return std::make_shared<OpenSFVCManager>(MakeKey{}); }

std::optional<std::string_view> OpenSFVCManager::urlScheme(std::string_view url) {
  const auto colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const std::string_view scheme = url.substr(0, colon);
  if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return std::nullopt;
  for (char c : scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return std::nullopt;
  }
  return scheme;
}

bool OpenSFVCManager::openURLWithSafariViewController(const std::string& url) {
  auto scheme = urlScheme(url);
  if (!scheme || scheme->find("http") == std::string_view::npos) return false;
  presentWhenIdle(url);
  return true;
}

void OpenSFVCManager::presentWhenIdle(const std::string& url) {
  auto top = topOfKeyWindow();
  if (top && top->transitionInProgress()) {
    // Looked up again afterwards: a controller that was being dismissed is gone from
    // the screen by then, and presenting on it would show nothing.
    std::weak_ptr<OpenSFVCManager> weak = weak_from_this();
    top->whenTransitionsEnd([weak, url] {
      if (auto self = weak.lock()) self->presentWhenIdle(url);
    });
    return;
  }
  present(url, top);
}

void OpenSFVCManager::present(const std::string& url, const std::shared_ptr<ViewController>& top) {
  auto browser = std::make_shared<InAppBrowserController>(url);
  safariViewController_ = browser;
  browser->setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
  browser->setDismissButtonStyle(InAppBrowserDismissButtonStyle::close);
  browser->setDelegate(weak_from_this());
  if (top) top->present(browser, true);
}

void OpenSFVCManager::safariViewControllerDidFinish(const std::shared_ptr<InAppBrowserController>& controller) {
  if (!controller) return;
  std::weak_ptr<OpenSFVCManager> weak = weak_from_this();
  controller->dismiss(true, [weak] {
    if (auto self = weak.lock()) self->safariViewController_.reset();
  });
}

}  // namespace qvad
