#include "web/store_sheet_controller.h"

#include <cmath>
#include <cstdio>

#include "platform/main_queue.h"
#include "ui/screen_metrics.h"

namespace qvad {

std::string storeItemText(double identifier) {
  char buf[64];
  if (std::trunc(identifier) == identifier && std::fabs(identifier) < 1e15)
    std::snprintf(buf, sizeof buf, "%.0f", identifier);
  else
    std::snprintf(buf, sizeof buf, "%.17g", identifier);
  return buf;
}

void StoreSheetController::viewDidLoad() {
  auto root = view();
  root->setBackgroundColor(Color::white());
  doneButton_ = View::make<Button>(Rect{}, ButtonType::system);
  doneButton_->setTitle("Done");
  std::weak_ptr<StoreSheetController> weak = sharedAs<StoreSheetController>();
  doneButton_->addTarget(ControlEvent::touchUpInside, [weak] {
    auto self = weak.lock();
    if (!self) return;
    if (auto d = self->delegate()) {
      d->productViewControllerDidFinish(self);
    } else {
      self->dismiss(true);
    }
  });
  root->addSubview(doneButton_);
  productLabel_ = View::make<Label>();
  productLabel_->setTextAlignment(TextAlignment::center);
  productLabel_->setNumberOfLines(2);
  productLabel_->setText("Loading…");
  root->addSubview(productLabel_);
  layoutContent();
  showProduct();
}

void StoreSheetController::viewDidLayoutSubviews() {
  ViewController::viewDidLayoutSubviews();
  layoutContent();
}

void StoreSheetController::layoutContent() {
  if (!doneButton_ || !productLabel_) return;  // the view is still loading
  const double w = view()->bounds().width();
  doneButton_->setFrame({w - 76, kStatusBarHeight(), 68, 44});
  productLabel_->setFrame({16, kStatusBarHeight() + 60, w - 32, 60});
}

void StoreSheetController::loadProduct(const std::map<std::string, double>& parameters, LoadCompletion completion) {
  std::optional<double> id;
  if (auto it = parameters.find(kStoreProductParameterITunesItemIdentifier);
      it != parameters.end() && std::isfinite(it->second))
    id = it->second;
  std::weak_ptr<StoreSheetController> weak = sharedAs<StoreSheetController>();
  dispatchMain([weak, id, completion = std::move(completion)] {
    auto self = weak.lock();
    if (self && id) {
      self->product_ = id;
      self->showProduct();
    }
    if (completion) completion(self && id, id ? std::nullopt : std::optional<std::string>("no item identifier"));
  });
}

std::shared_ptr<Button> StoreSheetController::doneButton() {
  view();
  return doneButton_;
}

std::shared_ptr<Label> StoreSheetController::productLabel() {
  view();
  return productLabel_;
}

void StoreSheetController::showProduct() {
  if (productLabel_ && product_) productLabel_->setText("Store item " + storeItemText(*product_));
}

}  // namespace qvad
