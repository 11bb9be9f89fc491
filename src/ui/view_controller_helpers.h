// Finding controllers in the host's tree and stepping back to the previous screen.
// Main thread only. The top-controller search itself is
// Utils::topViewControllerWithRootViewController (net/utils.h).
#pragma once

#include <functional>
#include <memory>

#include "platform/toolkit/view.h"
#include "platform/toolkit/view_controller.h"

namespace qvad {

/// The controller that owns `view`: the first controller met on the responder chain of
/// its superviews (the view itself is not examined). nullptr outside any controller.
std::shared_ptr<ViewController> getFirstViewController(const View& view);

/// Leaves the top screen of the key window: a modally shown top controller is
/// dismissed without animation and `complete` runs when that has finished; otherwise
/// the top controller's navigation stack is popped with animation and `complete` is
/// not called. Without a key window, root or stack nothing happens. `animated` is
/// accepted for callers' symmetry and does not change either path.
void transitionPreviousVc(bool animated, std::function<void()> complete);

}  // namespace qvad
