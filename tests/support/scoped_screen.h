// Sets the main screen's size for the life of the object and restores the old size
// after: the screen is process-wide, and the other tests expect the default phone.
#pragma once

#include "platform/toolkit/screen.h"
#include "ui/screen_metrics.h"

namespace qvad::testing {

class ScopedScreen {
 public:
  ScopedScreen(double width, double height) : saved_(Screen::main().bounds()) {
    // The status bar height is fixed at its first read: make that read on the old screen,
    // not on this one.
    kStatusBarHeight();
    Screen::configure(width, height);
  }
  ~ScopedScreen() { Screen::configure(saved_.width(), saved_.height()); }
  ScopedScreen(const ScopedScreen&) = delete;
  ScopedScreen& operator=(const ScopedScreen&) = delete;

 private:
  Rect saved_;
};

}  // namespace qvad::testing
