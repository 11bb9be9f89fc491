// The in-app browser: a full-screen controller with a bar holding a dismiss button and
// a web view below it, made through the platform's web view factory, that loads one web
// address when the view loads. Main thread only.
//
// The dismiss button reports to the delegate (held weakly), which closes the browser;
// without a delegate the browser dismisses itself.
#pragma once

#include <memory>
#include <string>

#include "platform/toolkit/button.h"
#include "platform/toolkit/view_controller.h"
#include "platform/web_view.h"

namespace qvad {

class InAppBrowserController;

/// The text of the dismiss button.
enum class InAppBrowserDismissButtonStyle { done = 0, close = 1, cancel = 2 };

class InAppBrowserDelegate {
 public:
  virtual ~InAppBrowserDelegate() = default;
  /// The user tapped the dismiss button; the browser is still on screen.
  virtual void safariViewControllerDidFinish(const std::shared_ptr<InAppBrowserController>& controller) = 0;
};

class InAppBrowserController : public ViewController {
 public:
  /// Height of the bar above the page, below the status bar.
  static constexpr double kBarHeight = 44;

  explicit InAppBrowserController(std::string url);

  const std::string& url() const { return url_; }
  InAppBrowserDismissButtonStyle dismissButtonStyle() const { return dismissStyle_; }
  void setDismissButtonStyle(InAppBrowserDismissButtonStyle style);
  std::shared_ptr<InAppBrowserDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<InAppBrowserDelegate> delegate) { delegate_ = std::move(delegate); }

  /// The dismiss button and the page (loading the root view, and so the page, if needed).
  std::shared_ptr<Button> dismissButton();
  std::shared_ptr<WebView> webView();

  const char* className() const override { return "InAppBrowserController"; }

  /// The bar keeps the full width and the page fills the rest.
  void viewDidLayoutSubviews() override;

 protected:
  void viewDidLoad() override;

 private:
  void onDismiss();
  void layoutContent();

  std::string url_;
  InAppBrowserDismissButtonStyle dismissStyle_ = InAppBrowserDismissButtonStyle::done;
  std::weak_ptr<InAppBrowserDelegate> delegate_;
  std::shared_ptr<View> bar_;
  std::shared_ptr<Button> dismissButton_;
  std::shared_ptr<View> address_;
  std::shared_ptr<WebView> webView_;
};

}  // namespace qvad
