#include "sdk/qv_inter_active_ad_view.h"

#include "net/tracker_manager.h"
#include "net/utils.h"
#include "platform/http_session.h"
#include "platform/resources.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/window.h"
#include "ui/open_sfvc_manager.h"

namespace qvad {

std::shared_ptr<QvInterActiveAdView> QvInterActiveAdView::make(Rect frame) {
  auto badge = View::make<QvInterActiveAdView>(frame);
  badge->setupUI();
  return badge;
}

void QvInterActiveAdView::setupUI() {
  std::weak_ptr<QvInterActiveAdView> weak = sharedAs<QvInterActiveAdView>();
  gifView_ = View::make<QvGIFView>();
  addSubview(gifView_);
  gifView_->setUserInteractionEnabled(true);
  gifView_->addTapHandler([weak] {
    if (auto self = weak.lock()) self->onClickAd();
  });

  closeButton_ = View::make<Button>();
  addSubview(closeButton_);
  closeButton_->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->onClickClose();
  });
  // Without its image the button still works, it only shows nothing.
  closeButton_->setImage(Resources::image("ic_close", "png"));
}

void QvInterActiveAdView::showAdView(Point origin, double scale, std::shared_ptr<View> customView, AdModel ad,
                                     Action onClickAction, Action onShowAction, Action onCloseAction,
                                     LoadFailed onLoadFailed) {
  auto badge = make();
  if (!(origin.x == kDefaultOriginMarker && origin.y == kDefaultOriginMarker)) badge->origin_ = origin;
  badge->scale_ = scale;
  badge->adModel_ = std::move(ad);
  badge->clickAction_ = std::move(onClickAction);
  badge->showAction_ = std::move(onShowAction);
  badge->closeAction_ = std::move(onCloseAction);
  badge->loadFailed_ = std::move(onLoadFailed);

  std::shared_ptr<View> container = std::move(customView);
  if (!container) {
    auto window = Application::shared().keyWindow();
    if (auto top = Utils::topViewControllerWithRootViewController(window ? window->rootViewController() : nullptr))
      container = top->view();
  }
  if (!container) return;
  badge->customView_ = container;
  container->addSubview(badge);
  badge->update();
  TrackerManager::shared().logTracker({badge->adModel_.reportImplUrl.value_or("")});
}

void QvInterActiveAdView::update() {
  if (!origin_) {
    // The unscaled side on purpose: a scaled badge keeps the default offsets.
    auto container = customView();
    const Rect b = container ? container->bounds() : Rect{};
    origin_ = Point{b.width() - viewWidth - 10, b.height() - viewWidth - 0.1 * b.height()};
  }
  setHidden(true);
  const double s = scale_ * viewWidth;
  setFrame(Rect{origin_->x, origin_->y - kBandHeight, s, s + kBandHeight});
  gifView_->setFrame(Rect{0, kBandHeight, s, s});
  closeButton_->setFrame(Rect{s - 20, 0, 15, 15});

  const std::string imageUrl = adModel_.imageUrl.value_or("");
  if (HttpSession::isValidURL(imageUrl)) {
    std::weak_ptr<QvInterActiveAdView> weak = sharedAs<QvInterActiveAdView>();
    gifView_->showGIFImageWithWebNetWorkUrl(
        imageUrl,
        [weak] {
          if (auto self = weak.lock()) self->setHidden(false);
        },
        [weak](long code, std::string description) {
          auto self = weak.lock();
          if (self && self->loadFailed_) self->loadFailed_(code, std::move(description));
        });
  }
  if (showAction_) showAction_();
}

void QvInterActiveAdView::onClickAd() {
  const std::string landingUrl = adModel_.landingUrl.value_or("");
  if (!HttpSession::isValidURL(landingUrl)) return;
  if (!OpenSFVCManager::shared().openURLWithSafariViewController(landingUrl)) return;
  TrackerManager::shared().logTracker({adModel_.reportClickUrl.value_or("")});
  if (clickAction_) clickAction_();
}

void QvInterActiveAdView::onClickClose() {
  removeFromSuperview();
  if (closeAction_) closeAction_();
}

}  // namespace qvad
