// The store sheet: a presented controller that shows one store item by its
// identifier, with a "Done" button that reports to the delegate (held weakly), which
// closes the sheet. Main thread only.
//
// This platform has no store of its own: the sheet shows the item identifier, and
// loading a product succeeds on the next turn of the main loop for any finite id.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/toolkit/button.h"
#include "platform/toolkit/label.h"
#include "platform/toolkit/view_controller.h"

namespace qvad {

class StoreSheetController;

/// The parameter that names the item to show.
inline constexpr const char* kStoreProductParameterITunesItemIdentifier = "id";

class StoreSheetDelegate {
 public:
  virtual ~StoreSheetDelegate() = default;
  /// The user closed the sheet; it is still on screen.
  virtual void productViewControllerDidFinish(const std::shared_ptr<StoreSheetController>& controller) = 0;
};

class StoreSheetController : public ViewController {
 public:
  using LoadCompletion = std::function<void(bool success, std::optional<std::string> error)>;

  std::shared_ptr<StoreSheetDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<StoreSheetDelegate> delegate) { delegate_ = std::move(delegate); }

  /// Loads the item of `parameters` (kStoreProductParameterITunesItemIdentifier);
  /// `completion` (may be empty) runs later on the main queue. Fails without a finite id.
  void loadProduct(const std::map<std::string, double>& parameters, LoadCompletion completion);

  /// The item shown, once a load succeeded.
  std::optional<double> productIdentifier() const { return product_; }
  /// The "Done" button and the label with the item (loading the root view if needed).
  std::shared_ptr<Button> doneButton();
  std::shared_ptr<Label> productLabel();

  const char* className() const override { return "StoreSheetController"; }

  /// The "Done" button keeps to the top-right corner, the label to the full width.
  void viewDidLayoutSubviews() override;

 protected:
  void viewDidLoad() override;

 private:
  void showProduct();
  void layoutContent();

  std::weak_ptr<StoreSheetDelegate> delegate_;
  std::optional<double> product_;
  std::shared_ptr<Button> doneButton_;
  std::shared_ptr<Label> productLabel_;
};

/// The item identifier as the sheet shows it: whole numbers without a fraction.
std::string storeItemText(double identifier);

}  // namespace qvad
