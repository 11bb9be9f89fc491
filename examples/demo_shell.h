// Demo-side tooling, not host code: the host application's window (a screen of its own
// with a title, a status line and a few buttons), the stand-in for the person using it
// (taps routed through hit testing, a click inside a page), screenshots of the window
// with its pages, and a sandbox started for a run that was given no server. It is the
// only part of the demo that reaches the library's internals; demo_host.cpp sees only
// this header and include/qvad/.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace qvad {
class View;
class ViewController;
}  // namespace qvad

namespace demo {

class Shell {
 public:
  /// Opens the display; false (with `error`) when there is none.
  static bool openDisplay(int& argc, char**& argv, std::string& error);

  /// Lets the web engine accept the sandbox's server certificate (`server.pem` next to
  /// `caFile`) for 127.0.0.1, after checking that it verifies against that CA for that
  /// address. The library's own requests trust the CA through configuration; the web
  /// engine only knows the system's store. False (with `error`) when the check fails.

  explicit Shell(const std::string& title);
  ~Shell();
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  /// The host's own screen: its controller and the view the floating ad is laid over.
  std::shared_ptr<qvad::ViewController> rootViewController() const;
  std::shared_ptr<qvad::View> contentView() const;
  /// The host's status line (the last callback it heard).
  void setStatus(const std::string& text);
  /// Adds one of the host's buttons (used with --gui).
  void addButton(const std::string& title, std::function<void()> action);
  /// Called when the person closes the desktop window.
  void onWindowClosed(std::function<void()> action);

  // What a person would do, for the scripted flows.
  /// Taps the centre of the view the floating ad laid over the host's screen.
  bool tapBadge();
  /// Taps the badge's close button.
  bool tapBadgeClose();
  /// Taps the visible button with this title anywhere in the window ("Close").
  bool tapButton(const std::string& title);
  /// Clicks the element `selector` of the page shown in the window (the person's click
  /// on the page's own button); false when no page is shown.
  bool clickInPage(const std::string& selector);
  /// Whether the floating ad's badge shows on the host's screen (its picture loaded).
  bool badgeVisible() const;
  /// Whether a controller is presented over the host's screen.
  bool covered() const;

  /// Writes the window as it shows now, pages included, to a PNG file.
  bool screenshot(const std::string& path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// A qvad-sandbox started for this run on a free loopback port; stopped on destruction.
class Sandbox {
 public:
  /// Starts the sandbox binary next to the demo's build (`server/qvad-sandbox`) with its
  /// state in `stateDir`.
  Sandbox(const std::string& demoPath, const std::string& stateDir);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  bool ok() const { return !baseURL_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& baseURL() const { return baseURL_; }
  const std::string& caFile() const { return caFile_; }

 private:
  int pid_ = -1;
  int readEnd_ = -1;
  std::string baseURL_, caFile_, error_;
};

}  // namespace demo
