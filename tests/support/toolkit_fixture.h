// Fixture for tests of views and controllers: main-loop timers on a virtual clock,
// a fresh key window per test, and everything released again at the end.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/main_queue.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/view_controller.h"
#include "platform/toolkit/window.h"

namespace qvad::testing {

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override { queue().useVirtualClock(true); }
  void TearDown() override {
    queue().runFor(60);  // let pending transitions and hide timers finish
    Application::shared().setKeyWindow(nullptr);
    queue().useVirtualClock(false);
  }

  static HeadlessMainQueue& queue() { return *HeadlessMainQueue::current(); }
  static void runFor(double seconds) { queue().runFor(seconds); }
  static void runUntilIdle() { queue().runUntilIdle(); }

  /// A visible key window the size of the screen showing `root`.
  static std::shared_ptr<Window> makeKeyWindow(std::shared_ptr<ViewController> root) {
    auto w = std::make_shared<Window>();
    w->setRootViewController(std::move(root));
    w->makeKeyAndVisible();
    return w;
  }
};

/// A controller that reports its own destruction.
class TrackedController : public ViewController {
 public:
  explicit TrackedController(bool* destroyed = nullptr) : destroyed_(destroyed) {}
  ~TrackedController() override {
    if (destroyed_) *destroyed_ = true;
  }
  int viewDidLoadCount = 0;

 protected:
  void viewDidLoad() override { ++viewDidLoadCount; }

 private:
  bool* destroyed_;
};

}  // namespace qvad::testing
