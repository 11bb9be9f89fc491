#include "ui/in_app_browser_controller.h"

#include "platform/toolkit/label.h"
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

// The address's host, as a browser's bar shows it ("" when there is none).
std::string hostOf(const std::string& url) {
  auto start = url.find("://");
  if (start == std::string::npos) return {};
  start += 3;
  auto end = url.find_first_of("/?#", start);
  std::string host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (auto at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);  // never show credentials
  return host;
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

std::shared_ptr<WebView> InAppBrowserController::webView() {
  view();
  return webView_;
}

void InAppBrowserController::viewDidLoad() {
  auto root = view();
  bar_ = View::make();
  bar_->setBackgroundColor(Color::rgb(247, 247, 247));
  root->addSubview(bar_);

  dismissButton_ = View::make<Button>(Rect{}, ButtonType::system);
  dismissButton_->setTitle(std::string(dismissTitle(dismissStyle_)));
  std::weak_ptr<InAppBrowserController> weak = sharedAs<InAppBrowserController>();
  dismissButton_->addTarget(ControlEvent::touchUpInside, [weak] {
    if (auto self = weak.lock()) self->onDismiss();
  });
  bar_->addSubview(dismissButton_);

  auto address = View::make<Label>();
  address->setText(hostOf(url_));
  address->setFont(Font::boldSystemFont(15));
  address->setTextAlignment(TextAlignment::center);
  bar_->addSubview(address);
  address_ = address;

  webView_ = makeWebView(Rect{}, WebViewConfiguration{});
  webView_->setBackgroundColor(Color::white());
  root->addSubview(webView_);
  layoutContent();
  webView_->load(WebRequest(url_));
}

void InAppBrowserController::viewDidLayoutSubviews() {
  ViewController::viewDidLayoutSubviews();
  layoutContent();
}

void InAppBrowserController::layoutContent() {
  if (!bar_ || !dismissButton_ || !address_ || !webView_) return;  // the view is still loading
  const Rect b = view()->bounds();
  const double barTop = kStatusBarHeight();
  bar_->setFrame({0, 0, b.width(), barTop + kBarHeight});
  dismissButton_->setFrame({8, barTop + 7, 72, 30});
  address_->setFrame({88, barTop + 7, b.width() - 176, 30});
  const double pageTop = bar_->frame().maxY();
  webView_->setFrame({0, pageTop, b.width(), b.height() - pageTop});
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
