// The change signal from views to their window, and the key-window notifications.
#include <gtest/gtest.h>

#include <vector>

#include "platform/notification_center.h"
#include "platform/render/renderer.h"
#include "platform/toolkit/alert_controller.h"
#include "platform/toolkit/button.h"
#include "platform/toolkit/label.h"
#include "support/toolkit_fixture.h"

namespace qvad {
namespace {

class WindowDisplayTest : public testing::ToolkitTest {
 protected:
  // A window that has drawn once, counting the frames it asks for.
  std::shared_ptr<Window> drawnWindow() {
    auto w = makeKeyWindow(std::make_shared<ViewController>());
    w->setDisplayHandler([this] { ++requests; });
    w->didDisplay();
    return w;
  }
  int requests = 0;
};

TEST_F(WindowDisplayTest, ChangesDeepInTheTreeMarkTheWindowOncePerFrame) {
  auto w = drawnWindow();
  auto label = View::make<Label>(Rect{0, 0, 100, 20});
  w->rootViewController()->view()->addSubview(label);
  EXPECT_TRUE(w->needsDisplay());
  EXPECT_EQ(requests, 1);
  label->setText("one");
  label->setTextColor(Color::rgb(255, 0, 0));
  EXPECT_EQ(requests, 1);  // already pending: no second request before the frame
  w->didDisplay();

  // Each kind of change asks again once the last frame is drawn.
  auto button = View::make<Button>(Rect{0, 30, 100, 44});
  label->addSubview(button);
  w->didDisplay();
  std::vector<std::function<void()>> changes = {
      [&] { label->setText("two"); },
      [&] { button->setEnabled(false); },
      [&] { button->setTitle("Go"); },
      [&] { label->setFrame({10, 0, 100, 20}); },
      [&] { label->setHidden(true); },
      [&] { w->rootViewController()->view()->setBackgroundColor(Color::black()); },
      [&] { button->removeFromSuperview(); },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    int before = requests;
    changes[i]();
    EXPECT_EQ(requests, before + 1) << "change " << i;
    EXPECT_TRUE(w->needsDisplay());
    w->didDisplay();
  }
  // A removed view no longer reaches the window.
  button->setTitle("Gone");
  EXPECT_FALSE(w->needsDisplay());
}

TEST_F(WindowDisplayTest, SettingTheSameValueIsNoChange) {
  auto w = drawnWindow();
  auto label = View::make<Label>(Rect{0, 0, 100, 20});
  label->setText("same");
  w->rootViewController()->view()->addSubview(label);
  w->didDisplay();
  int before = requests;
  label->setText("same");
  label->setFrame({0, 0, 100, 20});
  label->setHidden(false);
  label->setAlpha(1);
  EXPECT_FALSE(w->needsDisplay());
  EXPECT_EQ(requests, before);
}

TEST_F(WindowDisplayTest, AnimatingOnlyWhileAContentsAnimationChangesFrames) {
  auto w = drawnWindow();
  auto view = View::make(Rect{0, 0, 10, 10});
  w->rootViewController()->view()->addSubview(view);
  auto px = std::make_shared<Image>(1, 1, 1, std::vector<std::uint32_t>{0xff000000});
  EXPECT_FALSE(w->animationState(queue().now()).running);
  KeyframeAnimation a;
  a.values = {px, px};
  a.duration = 1;
  a.repeatCount = 2;
  w->didDisplay();
  view->addAnimation("anim", a);
  EXPECT_TRUE(w->needsDisplay());
  EXPECT_TRUE(w->animationState(queue().now()).running);
  runFor(1.5);
  EXPECT_TRUE(w->animationState(queue().now()).running);
  runFor(0.6);  // both cycles over
  EXPECT_FALSE(w->animationState(queue().now()).running);
  view->addAnimation("anim", a);
  view->setHidden(true);  // a hidden animation needs no frames
  EXPECT_FALSE(w->animationState(queue().now()).running);
  view->setHidden(false);
  view->removeAnimation("anim");
  EXPECT_FALSE(w->animationState(queue().now()).running);
}

TEST_F(WindowDisplayTest, AnAnimationAsksForAFrameOnlyWhenItShowsAnotherImage) {
  auto w = drawnWindow();
  auto view = View::make(Rect{0, 0, 10, 10});
  w->rootViewController()->view()->addSubview(view);
  auto solid = [](std::uint32_t argb) { return std::make_shared<Image>(1, 1, 1, std::vector<std::uint32_t>{argb}); };
  KeyframeAnimation a;
  a.values = {solid(0xffff0000), solid(0xff00ff00)};
  a.duration = 1;
  view->addAnimation("anim", a);
  auto changed = [&] { return w->animationState(queue().now()).changed; };
  EXPECT_TRUE(changed());  // not drawn yet
  renderView(*w);
  EXPECT_FALSE(changed());
  runFor(0.3);
  EXPECT_FALSE(changed());  // still the first frame: no repaint on this tick
  runFor(0.3);
  EXPECT_TRUE(changed());
  renderView(*w);
  EXPECT_FALSE(changed());
  runFor(0.5);  // over and removed on completion: the settled look is one more change
  EXPECT_FALSE(w->animationState(queue().now()).running);
  EXPECT_TRUE(changed());
  renderView(*w);
  EXPECT_FALSE(changed());
}

TEST_F(WindowDisplayTest, AlertIsCentredInTheWindowItIsPresentedIn) {
  // A desktop window smaller than the screen: the alert box must not land outside it.
  auto host = std::make_shared<ViewController>();
  auto w = std::make_shared<Window>(Rect{0, 0, 320, 240});
  w->setRootViewController(host);
  w->makeKeyAndVisible();
  auto alert = std::make_shared<AlertController>("Title", std::nullopt);
  alert->addAction({"OK", AlertActionStyle::defaultStyle, nullptr});
  host->present(alert, false);
  runUntilIdle();
  auto button = alert->actionButton(0);
  Rect box = button->superview()->frame();
  EXPECT_DOUBLE_EQ(box.midX(), 160);
  EXPECT_DOUBLE_EQ(box.midY(), 120);
  bool pressed = false;  // and a click where it shows reaches it
  button->addTarget(ControlEvent::touchUpInside, [&] { pressed = true; });
  EXPECT_TRUE(w->sendTap(button->convertToWindow(button->bounds().center())));
  EXPECT_TRUE(pressed);
  runFor(1);
}

TEST_F(WindowDisplayTest, KeyWindowChangesArePostedResignFirst) {
  std::vector<std::pair<std::string, const void*>> seen;
  auto& center = NotificationCenter::defaultCenter();
  auto id = center.addObserver("", [&](const Notification& n) {
    if (n.name == kWindowDidBecomeKeyNotification || n.name == kWindowDidResignKeyNotification)
      seen.emplace_back(n.name, n.object);
  });
  auto first = makeKeyWindow(std::make_shared<ViewController>());
  auto second = std::make_shared<Window>();
  second->makeKeyAndVisible();
  second->makeKeyAndVisible();  // already key: nothing new
  Application::shared().setKeyWindow(nullptr);
  center.removeObserver(id);
  std::vector<std::pair<std::string, const void*>> expected = {
      {kWindowDidBecomeKeyNotification, first.get()},
      {kWindowDidResignKeyNotification, first.get()},
      {kWindowDidBecomeKeyNotification, second.get()},
      {kWindowDidResignKeyNotification, second.get()},
  };
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace qvad
