// Screen metrics fixed once per process: the main screen's size in points at the
// first read, and the status bar height that goes with it. The first read of each is
// thread-safe; later screen changes do not move them.
#pragma once

#include "platform/device.h"

namespace qvad {

double kScreenWidth();
double kScreenHeight();
/// 44 on a notched screen (isXScreen() at the first read), else 20.
double kStatusBarHeight();

/// Whether the main screen (read now) has the tall notched shape, upright or sideways.
bool isXScreen();
/// The rule behind isXScreen(): never on a tablet; otherwise width / height * 100,
/// truncated, is 46 or 216. A zero or non-finite size answers false.
bool isXScreenFor(double width, double height, UserInterfaceIdiom idiom);

}  // namespace qvad
