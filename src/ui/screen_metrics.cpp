#include "ui/screen_metrics.h"

#include <cmath>

#include "platform/toolkit/screen.h"

namespace qvad {

double kScreenWidth() {
  static const double value = Screen::main().bounds().width();
  return value;
}

double kScreenHeight() {
  static const double value = Screen::main().bounds().height();
  return value;
}

double kStatusBarHeight() {
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
