// Screen metrics. The width and height are the main screen's size in points, read on
// each call, so they follow Screen::configure (a host window sets it when its size
// changes). The status bar height is fixed at its first read. All are thread-safe.
#pragma once

#include "platform/device.h"

namespace qvad {

/// The main screen's size in points now.
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
