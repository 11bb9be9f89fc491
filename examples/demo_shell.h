// Demo-side tooling, not host code: the stand-in for the person using the host (taps
// routed through the library's hit testing, a click inside a page), screenshots of the
// host's window with the library's layers, and a sandbox started for a run that was
// given no server. It is the only part of the demo that reaches the library's
// internals; demo_host.cpp sees only this header, GTK and include/qvad/.
#pragma once

#include <string>

namespace qvad {
class QvHostWindow;
}  // namespace qvad

namespace demo {

/// What a person would do at the host's window, for the scripted flows.
class Person {
 public:
  explicit Person(const qvad::QvHostWindow& host) : host_(host) {}

  /// Taps the centre of the floating ad's badge.
  bool tapBadge();
  /// Taps the badge's close button.
  bool tapBadgeClose();
  /// Taps the visible button of the library with this title ("Close").
  bool tapButton(const std::string& title);
  /// Clicks the element `selector` of the page shown over the host (the person's click
  /// on the page's own button); false when no page is shown.
  bool clickInPage(const std::string& selector);
  /// Whether the floating ad's badge shows on the host's screen.
  bool badgeVisible() const;
  /// Whether a controller of the library is presented over the host's screen.
  bool covered() const;
  /// Writes the window's content as it shows now, pages included, to a PNG file.
  bool screenshot(const std::string& path);

 private:
  const qvad::QvHostWindow& host_;
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
