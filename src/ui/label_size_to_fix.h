// Sizes a label to its text for notices: wrapped no wider than the screen width less
// 50 points, unlimited height, unrounded, keeping the label's origin. A label without
// text becomes 0 x 0.
#pragma once

#include "platform/toolkit/label.h"

namespace qvad {

void sizeToFix(Label& label);

}  // namespace qvad
