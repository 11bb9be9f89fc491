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
constexpr double kBottomInset = 40;  // what the default frame leaves below the view

std::shared_ptr<View> firstErrorView(ViewController& vc) {
  for (const auto& v : vc.view()->subviews()) {
    if (v->tag() == kNetSettingViewTag) return v;
  }
  return nullptr;
}

}  // namespace

Rect defaultNetSettingFrame(Rect rootBounds) {
  return {0, 0, rootBounds.width(), rootBounds.height() - kBottomInset};
}

std::shared_ptr<NetSettingView> NetSettingView::create(Rect frame) {
  auto v = View::make<NetSettingView>(frame);
  std::weak_ptr<NetSettingView> weak = v;

  auto picture = View::make<ImageView>();
  picture->setImage(Resources::image("ic_network_error"));
  v->addSubview(picture);
  v->picture_ = picture;

  auto reload = View::make<Button>(Rect{}, ButtonType::custom);
  reload->setImage(Resources::image("ic_reload"));
  v->addSubview(reload);
  reload->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->onClickBgView();
  });
  v->reload_ = reload;

  auto back = View::make<Button>();
  back->setImage(Resources::image("ic_back"));
  v->addSubview(back);
  back->setFrame({0, kStatusBarHeight(), kBackSide, kBackSide});
  back->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->onClickBackBtn();
  });
  back->setHidden(true);
  v->backBtn = back;
  v->layoutContent();
  return v;
}

void NetSettingView::setFrame(Rect frame) {
  const bool resized = frame.size != this->frame().size;
  View::setFrame(frame);
  if (resized) layoutContent();
}

void NetSettingView::layoutContent() {
  if (!picture_ || !reload_) return;
  const Rect b = bounds();
  // Placed as on the area the default frame is cut from (kBottomInset taller): a view
  // of the default frame shows the picture centred above the lower 100 points there.
  const double y0 = (b.height() + kBottomInset - 100 - kPictureSide) / 2;
  picture_->setFrame({(b.width() - kPictureSide) / 2, y0, kPictureSide, kPictureSide});
  reload_->setFrame({(b.width() - kReloadSide) / 2, y0 + kPictureSide + 50, kReloadSide, kReloadSide});
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
  Rect frame = toFrame.value_or(defaultNetSettingFrame(vc.view()->bounds()));
  auto target = toView ? toView : vc.view();
  auto v = NetSettingView::create(frame);
  v->fillsRootView = !toFrame;
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

void layoutNetSettingView(ViewController& vc) {
  if (!vc.isViewLoaded()) return;
  auto v = std::dynamic_pointer_cast<NetSettingView>(firstErrorView(vc));
  if (v && v->fillsRootView) v->setFrame(defaultNetSettingFrame(vc.view()->bounds()));
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

void NetSettingProtocol::layoutNetSettingView() {
  if (auto* vc = dynamic_cast<ViewController*>(this)) qvad::layoutNetSettingView(*vc);
}

void NetSettingProtocol::onNetSettingClicked() {
  auto& app = Application::shared();
  if (app.canOpenURL(Application::openSettingsURLString)) app.openURL(Application::openSettingsURLString);
}

}  // namespace qvad
