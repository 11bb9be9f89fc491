// Short text notices (toasts) over the key window. Main thread only.
//
// The manager lives for the process. It keeps every notice view it made (the text
// notice is made once and reused for every later text) and hides notices on one-shot
// main-loop timers that are never cancelled: a timer from an earlier toast also hides
// the notice while it shows a later text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/geometry.h"
#include "platform/toolkit/view.h"
#include "platform/toolkit/window.h"

namespace qvad {

class D3NoticeManager {
 public:
  static D3NoticeManager& sharedInstance();

  /// Shows `text` centred on the window (with a `centerPoint`, a quarter of the window's
  /// height from the top; the point's own coordinates are not used) and, when
  /// `autoClear`, hides it after `time` seconds.
  void showText(const std::string& text, double time, bool autoClear, std::optional<Point> centerPoint = std::nullopt);
  /// Centres `view` on the window above all other content, keeps it, and hides it after
  /// `time` seconds when `autoClear`. Without any window the view is kept but not shown.
  void addNotice(const std::shared_ptr<View>& view, double time, bool autoClear);
  /// What a hide timer does: hides `view`, which stays where it is. Null does nothing.
  void hideNotice(const std::shared_ptr<View>& view);
  /// Hides every notice view.
  void clearNotice();

  const std::vector<std::shared_ptr<View>>& notices() const { return notices_; }
  std::shared_ptr<Window> window() const { return window_.lock(); }

 private:
  D3NoticeManager();
  std::shared_ptr<Window> currentWindow();
  void scheduleHide(const std::shared_ptr<View>& view, double time);

  std::vector<std::shared_ptr<View>> notices_;
  std::weak_ptr<Window> window_;  // weak: a window the host has closed is not kept alive
};

}  // namespace qvad
