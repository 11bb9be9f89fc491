// What the C interface's opaque handles hold. The host window handle carries the
// controller and view the ads present over, taken when the handle is made, so that the
// core's C functions never call into QvHostWindow: that class lives with the GTK
// backend, and the headless library links without it.
#pragma once

#include <memory>
#include <string>

#include "platform/toolkit/view.h"
#include "platform/toolkit/view_controller.h"
#include "qvad/host_window.h"
#include "qvad/qvad.h"

struct qvad_error {
  long long code = 0;
  std::string description;
};

struct qvad_host {
  // Set and dropped only in the GTK part (c_host_window.cpp).
  std::shared_ptr<qvad::QvHostWindow> window;
  std::shared_ptr<qvad::ViewController> controller;
  std::shared_ptr<qvad::View> view;
};
