#include "ui/net_setting_view.h"

#include "platform/resources.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/image_view.h"
#include "ui/screen_metrics.h"

namespace qvad {
namespace {

constexpr double kPictureSide = 165;
constexpr double kReloadSide = 57;
constexpr double kBackSide = 44;

std::shared_ptr<View> firstErrorView(ViewController& vc) {
  for (const auto& v : vc.view()->subviews()) {
    if (v->tag() == kNetSettingViewTag) return v;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<NetSettingView> NetSettingView::create(Rect frame) {
  auto v = View::make<NetSettingView>(frame);
  std::weak_ptr<NetSettingView> weak = v;

  auto picture = View::make<ImageView>();
  picture->setImage(Resources::image("ic_network_error"));
  v->addSubview(picture);
  double y0 = (kScreenHeight() - 100 - kPictureSide) / 2;
  picture->setFrame({(kScreenWidth() - kPictureSide) / 2, y0, kPictureSide, kPictureSide});

  auto reload = View::make<Button>(Rect{}, ButtonType::custom);
  reload->setImage(Resources::image("ic_reload"));
  v->addSubview(reload);
  reload->setFrame({(kScreenWidth() - kReloadSide) / 2, y0 + kPictureSide + 50, kReloadSide, kReloadSide});
  reload->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->onClickBgView();
  });

  auto back = View::make<Button>();
  back->setImage(Resources::image("ic_back"));
  v->addSubview(back);
  back->setFrame({0, kStatusBarHeight(), kBackSide, kBackSide});
  back->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->onClickBackBtn();
  });
  back->setHidden(true);
  v->backBtn = back;
  return v;
}

void NetSettingView::onClickBgView() {
  if (auto block = onClickBgBlock) block();  // a copy: the block may replace itself
}

void NetSettingView::onClickBackBtn() {
  if (auto block = onClickBackBlock) block();
}

void addNetSettingView(ViewController& vc, std::optional<Rect> toFrame, const std::shared_ptr<View>& toView,
                       bool showBackBtn, std::function<void()> onClickBgAction,
                       std::function<void()> onClickBackAction) {
  if (auto old = firstErrorView(vc)) old->removeFromSuperview();
  Rect frame = toFrame.value_or(Rect{0, 0, kScreenWidth(), kScreenHeight() - 40});
  auto target = toView ? toView : vc.view();
  auto v = NetSettingView::create(frame);
  v->setTag(kNetSettingViewTag);
  v->showBackBtn = showBackBtn;
  v->backBtn->setHidden(!showBackBtn);
  v->onClickBgBlock = std::move(onClickBgAction);
  v->onClickBackBlock = std::move(onClickBackAction);
  target->addSubview(v);
}

void removeNetSettingView(ViewController& vc) {
  if (auto old = firstErrorView(vc)) old->removeFromSuperview();
}

void NetSettingProtocol::addNetSettingView(std::optional<Rect> toFrame, const std::shared_ptr<View>& toView,
                                           bool showBackBtn, std::function<void()> onClickBgAction,
                                           std::function<void()> onClickBackAction) {
  if (auto* vc = dynamic_cast<ViewController*>(this)) {
    qvad::addNetSettingView(*vc, toFrame, toView, showBackBtn, std::move(onClickBgAction), std::move(onClickBackAction));
  }
}

void NetSettingProtocol::removeNetSettingView() {
  if (auto* vc = dynamic_cast<ViewController*>(this)) qvad::removeNetSettingView(*vc);
}

void NetSettingProtocol::onNetSettingClicked() {
  auto& app = Application::shared();
  if (app.canOpenURL(Application::openSettingsURLString)) app.openURL(Application::openSettingsURLString);
}

}  // namespace qvad
