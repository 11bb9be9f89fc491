#include "platform/toolkit/screen.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace qvad {
namespace {

std::mutex mu;
double width = 375;
double height = 812;
double pixelScale = 2;

void readEnvironment() {
  const char* env = std::getenv("QVAD_SCREEN_SIZE");
  double w = 0, h = 0;
  if (env && std::sscanf(env, "%lfx%lf", &w, &h) == 2 && w > 0 && h > 0) {
    width = w;
    height = h;
  }
}

}  // namespace

Screen::Screen() {
  std::lock_guard lock(mu);
  readEnvironment();
}

Screen& Screen::main() {
  static Screen screen;
  return screen;
}

void Screen::configure(double w, double h, double scale) {
  main();  // the environment is read first so an explicit size wins
  std::lock_guard lock(mu);
  width = w;
  height = h;
  if (scale > 0) pixelScale = scale;
}

Rect Screen::bounds() const {
  std::lock_guard lock(mu);
  return {0, 0, width, height};
}

double Screen::scale() const {
  std::lock_guard lock(mu);
  return pixelScale;
}

}  // namespace qvad
