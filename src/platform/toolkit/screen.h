// The main screen. Its size comes, in this order, from Screen::configure(), from the
// environment variable QVAD_SCREEN_SIZE ("375x812", points) or from the default phone
// screen of 375 x 812 points at scale 2. Thread-safe. The key host window configures
// it whenever its size changes; kScreenWidth()/kScreenHeight() follow, while the status
// bar height is fixed at its first read, so configure the screen before anything presents.
#pragma once

#include "platform/toolkit/geometry.h"

namespace qvad {

class Screen {
 public:
  static Screen& main();
  /// Sets the size in points and the pixels per point (values <= 0 keep the scale).
  static void configure(double width, double height, double scale = 0);

  Rect bounds() const;
  double scale() const;

 private:
  Screen();
};

}  // namespace qvad
