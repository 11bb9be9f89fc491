#include "ui/screen_metrics.h"

#include <cmath>

#include "platform/toolkit/screen.h"

namespace qvad {

double kScreenWidth() { return Screen::main().bounds().width(); }

double kScreenHeight() { return Screen::main().bounds().height(); }

double kStatusBarHeight() {
  // A property of the device, not of the window: resizing a window gives no notch.
  static const double value = isXScreen() ? 44.0 : 20.0;
  return value;
}

bool isXScreenFor(double width, double height, UserInterfaceIdiom idiom) {
  if (idiom == UserInterfaceIdiom::pad) return false;
  if (!std::isfinite(width) || !std::isfinite(height) || height == 0) return false;
  double ratio = std::trunc(width / height * 100);
  return ratio == 46 || ratio == 216;
}

bool isXScreen() {
  Rect b = Screen::main().bounds();
  return isXScreenFor(b.width(), b.height(), Device::userInterfaceIdiom());
}

}  // namespace qvad
