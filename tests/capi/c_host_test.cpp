// The C example host against the sandbox: its own Xlib loop calling qvad_main_iterate,
// the three formats over its window through qvad_host_over_x11, a person's clicks
// through the display server, and the callbacks in the order a host relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../hosts/host_fixture.h"
#include "c_host_app.h"
#include "capi/c_handles.h"

// Last: the X headers define macros that the headers above must not see.
#include <X11/Xlib.h>

namespace qvad::hosts {
namespace {

class CHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useSandbox();
    ASSERT_TRUE(c_host_app_open(&app));
    app.observer = +[](void* sink, const char* line) { static_cast<std::vector<std::string>*>(sink)->push_back(line); };
    app.observer_context = &events;
    step = [this] { c_host_app_step(&app, 10); };
    runFor(0.3, step);  // mapped
    ASSERT_TRUE(c_host_app_start(&app, "demo-app", "demo-secret"));
    ASSERT_TRUE(runUntil([&] { return app.badge_shown && app.reward_loaded && app.interstitial_loaded; }, 30, step))
        << app.last_event;
    runFor(0.3, step);
  }
  void TearDown() override { c_host_app_close(&app); }

  const QvHostWindow& host() const { return *app.host->window; }
  void clickHostBox(const c_host_box& b) {
    int rx = 0, ry = 0;
    ::Window child;
    XTranslateCoordinates(app.display, app.window, DefaultRootWindow(app.display), b.x + b.width / 2,
                          b.y + b.height / 2, &rx, &ry, &child);
    personClickAt(rx, ry);
  }
  // Shows a full-screen ad from the host's button, then closes it from its back button.
  void showAndClose(const c_host_box& button, const int& shown, const int& closed) {
    clickHostBox(button);
    ASSERT_TRUE(runUntil([&] { return shown != 0; }, 40, step)) << app.last_event;
    auto container = presentedContainer(host());
    ASSERT_TRUE(container);
    ASSERT_TRUE(runUntil([&] { return !container->transitionInProgress(); }, 5, step));
    personClickOn(host(), *container->backBtn);
    ASSERT_TRUE(runUntil([&] { return closed && !covered(host()); }, 10, step)) << app.last_event;
    runFor(0.3, step);
  }

  // Where `line` first appears in what the host printed; -1 when it never did.
  int at(const std::string& line) const {
    for (size_t i = 0; i < events.size(); ++i)
      if (events[i] == line) return static_cast<int>(i);
    return -1;
  }

  c_host_app app{};
  std::vector<std::string> events;
  std::function<void()> step;
};

TEST_F(CHostTest, StartsShowsTheBadgeAndRunsBothFullScreenAdsToTheirClose) {
  EXPECT_TRUE(app.started);
  EXPECT_FALSE(covered(host()));
  showAndClose(c_host_reward_button, app.reward_shown, app.reward_closed);
  showAndClose(c_host_interstitial_button, app.interstitial_shown, app.interstitial_closed);
  // The order a host relies on: nothing shows before start-up, nothing closes before it showed.
  const int started = at("started");
  ASSERT_FALSE(events.empty());
  ASSERT_EQ(started, 0) << events.front();
  for (const char* after_start : {"badge shown", "reward video loaded", "interstitial loaded"})
    EXPECT_GT(at(after_start), started) << after_start;
  EXPECT_GT(at("reward video shown"), at("reward video loaded"));
  EXPECT_GT(at("reward video closed"), at("reward video shown"));
  EXPECT_GT(at("interstitial shown"), std::max(at("reward video closed"), at("interstitial loaded")));
  EXPECT_GT(at("interstitial closed"), at("interstitial shown"));
  EXPECT_EQ(events.back(), "interstitial closed");
  EXPECT_EQ(at("badge failed"), -1);
}

TEST_F(CHostTest, ReleasingTheHostClosesTheAdStillUp) {
  clickHostBox(c_host_reward_button);
  ASSERT_TRUE(runUntil([&] { return app.reward_shown != 0; }, 40, step)) << app.last_event;
  ASSERT_FALSE(app.reward_closed);
  qvad_host_release(app.host);  // detaches: the page closes, its close callbacks run
  app.host = nullptr;
  EXPECT_TRUE(runUntil([&] { return app.reward_closed != 0; }, 5, step)) << app.last_event;
}

}  // namespace
}  // namespace qvad::hosts
