// Opens web addresses in the in-app browser over whatever the host shows on top, and
// forgets the browser when the user closes it. Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ui/in_app_browser_controller.h"

namespace qvad {

class OpenSFVCManager final : public InAppBrowserDelegate, public std::enable_shared_from_this<OpenSFVCManager> {
 public:
  /// The one instance, made on first use (thread-safe) and never destroyed.
  static OpenSFVCManager& shared();
  /// A manager of its own (tests).
  static std::shared_ptr<OpenSFVCManager> make();

  /// False (nothing opened) when `url` has no scheme or its scheme does not contain
  /// "http" (case-sensitive). Otherwise true: the browser is presented over the key
  /// window's top controller, over full screen with a "Close" button; when that
  /// controller is in the middle of a presentation or dismissal, once it has ended
  /// (on the controller then on top). With no top controller nothing is shown.
  bool openURLWithSafariViewController(const std::string& url);

  /// The browser's dismiss button: dismisses it, animated, then forgets it.
  void safariViewControllerDidFinish(const std::shared_ptr<InAppBrowserController>& controller) override;

  /// The browser last presented, until the user closed it.
  std::shared_ptr<InAppBrowserController> safariViewController() const { return safariViewController_; }

  /// The scheme of `url` (letters, digits, "+", "-", "." after a letter, before ":"),
  /// or nothing.
  static std::optional<std::string_view> urlScheme(std::string_view url);

 private:
  struct MakeKey {};

 public:
  explicit OpenSFVCManager(MakeKey) {}

 private:
  void presentWhenIdle(const std::string& url);
  void present(const std::string& url, const std::shared_ptr<ViewController>& top);

  std::shared_ptr<InAppBrowserController> safariViewController_;
};

}  // namespace qvad
