#include "ui/in_app_browser_controller.h"

#include "ui/screen_metrics.h"

namespace qvad {
namespace {

const char* dismissTitle(InAppBrowserDismissButtonStyle style) {
  switch (style) {
    case InAppBrowserDismissButtonStyle::close:
      return "Close";
    case InAppBrowserDismissButtonStyle::cancel:
      return "Cancel";
    case InAppBrowserDismissButtonStyle::done:
      break;
  }
  return "Done";
}

}  // namespace

InAppBrowserController::InAppBrowserController(std::string url) : url_(std::move(url)) {
  setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
}

void InAppBrowserController::setDismissButtonStyle(InAppBrowserDismissButtonStyle style) {
  dismissStyle_ = style;
  if (dismissButton_) dismissButton_->setTitle(std::string(dismissTitle(style)));
}

std::shared_ptr<Button> InAppBrowserController::dismissButton() {
  view();
  return dismissButton_;
}

std::shared_ptr<View> InAppBrowserController::webView() {
  view();
  return webView_;
}

void InAppBrowserController::viewDidLoad() {
  auto root = view();
  const Rect b = root->bounds();
  const double barTop = kStatusBarHeight();
  auto bar = View::make(Rect{0, 0, b.width(), barTop + kBarHeight});
  bar->setBackgroundColor(Color::rgb(247, 247, 247));
  root->addSubview(bar);

  dismissButton_ = View::make<Button>(Rect{8, barTop + 7, 72, 30}, ButtonType::system);
  dismissButton_->setTitle(std::string(dismissTitle(dismissStyle_)));
  std::weak_ptr<InAppBrowserController> weak = sharedAs<InAppBrowserController>();
  dismissButton_->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->onDismiss();
  });
  bar->addSubview(dismissButton_);

  webView_ = View::make(Rect{0, bar->frame().maxY(), b.width(), b.height() - bar->frame().maxY()});
  webView_->setBackgroundColor(Color::white());
  root->addSubview(webView_);
}

void InAppBrowserController::onDismiss() {
  auto self = sharedAs<InAppBrowserController>();
  if (auto d = delegate()) {
    d->safariViewControllerDidFinish(self);
  } else {
    dismiss(true);
  }
}

}  // namespace qvad
