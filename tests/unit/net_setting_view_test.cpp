// The network error view and the operations that add and remove it.
#include <gtest/gtest.h>

#include "support/toolkit_fixture.h"
#include "ui/net_setting_view.h"

namespace qvad {
namespace {

class ErrorHostController : public ViewController, public NetSettingProtocol {};

class NetSettingViewTest : public testing::ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    vc = std::make_shared<ErrorHostController>();
    window = makeKeyWindow(vc);
  }
  std::vector<std::shared_ptr<View>> errorViews() const {
    std::vector<std::shared_ptr<View>> out;
    for (const auto& v : vc->view()->subviews()) {
      if (v->tag() == kNetSettingViewTag) out.push_back(v);
    }
    return out;
  }
  std::shared_ptr<ErrorHostController> vc;
  std::shared_ptr<Window> window;
};

TEST_F(NetSettingViewTest, SecondFailureReplacesTheFirstErrorView) {
  vc->addNetSettingView(std::nullopt, nullptr, false, nullptr, nullptr);
  std::weak_ptr<View> first = errorViews().at(0);
  vc->addNetSettingView(std::nullopt, nullptr, true, nullptr, nullptr);
  ASSERT_EQ(errorViews().size(), 1u);
  EXPECT_TRUE(first.expired());
  auto v = std::dynamic_pointer_cast<NetSettingView>(errorViews()[0]);
  EXPECT_EQ(v->frame(), Rect(0, 0, 375, 772));
  EXPECT_EQ(vc->view()->subviews().back(), v);
  EXPECT_TRUE(v->showBackBtn);
  EXPECT_FALSE(v->backBtn->isHidden());
  vc->removeNetSettingView();
  EXPECT_TRUE(errorViews().empty());
  vc->removeNetSettingView();  // none left: nothing happens
}

TEST_F(NetSettingViewTest, OnlyAnErrorViewAddedWithoutAFrameFollowsTheRootView) {
  for (std::optional<Rect> given : {std::optional<Rect>(), std::optional<Rect>(Rect{0, 100, 375, 400})}) {
    window->setFrame({0, 0, 375, 812});
    vc->addNetSettingView(given, nullptr, false, nullptr, nullptr);
    auto v = errorViews().at(0);
    window->setFrame({0, 0, 600, 900});
    vc->layoutNetSettingView();  // what a controller's viewDidLayoutSubviews calls
    EXPECT_EQ(v->frame(), given.value_or(Rect{0, 0, 600, 860}));
    // A new one takes the root view's size too, not the screen's.
    if (!given) {
      vc->addNetSettingView(std::nullopt, nullptr, false, nullptr, nullptr);
      EXPECT_EQ(errorViews().at(0)->frame(), Rect(0, 0, 600, 860));
    }
  }
}

TEST_F(NetSettingViewTest, TapsReachTheCallbacksThroughTheWindow) {
  int reloads = 0, backs = 0;
  vc->addNetSettingView(Rect{0, 0, 375, 812}, nullptr, false, [&] { ++reloads; }, [&] { ++backs; });
  auto v = std::dynamic_pointer_cast<NetSettingView>(errorViews().at(0));
  EXPECT_TRUE(window->sendTap({187, 517}));  // the reload button's centre
  EXPECT_EQ(reloads, 1);
  window->sendTap({22, 66});  // the back button is hidden: the tap falls through
  EXPECT_EQ(backs, 0);
  v->backBtn->setHidden(false);
  window->sendTap({22, 66});
  EXPECT_EQ(backs, 1);
}

TEST_F(NetSettingViewTest, ReloadWithoutCallbackDoesNothing) {
  vc->addNetSettingView(std::nullopt, nullptr, false, nullptr, nullptr);
  auto v = std::dynamic_pointer_cast<NetSettingView>(errorViews().at(0));
  EXPECT_TRUE(v->subviews()[1]->tap());
  v->onClickBackBtn();
}

TEST_F(NetSettingViewTest, ViewAddedElsewhereIsNotFoundByTheOperations) {
  auto other = View::make(Rect{0, 0, 375, 812});
  vc->view()->addSubview(other);
  vc->addNetSettingView(std::nullopt, other, false, nullptr, nullptr);
  vc->addNetSettingView(std::nullopt, other, false, nullptr, nullptr);
  EXPECT_EQ(other->subviews().size(), 2u);
  vc->removeNetSettingView();
  EXPECT_EQ(other->subviews().size(), 2u);
}

TEST_F(NetSettingViewTest, SettingsClickOpensTheApplicationSettings) {
  auto& app = Application::shared();
  app.clearOpenedURLs();
  vc->onNetSettingClicked();
  EXPECT_EQ(app.openedURLs(), std::vector<std::string>{Application::openSettingsURLString});
  app.clearOpenedURLs();
}

}  // namespace
}  // namespace qvad
