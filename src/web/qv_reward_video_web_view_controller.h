// The web ad container under the name of reward video pages. It adds nothing: the
// reward video ad shows its page through BaseWKWebViewController::ShowWebView, which
// always makes the base container.
#pragma once

#include "web/base_wk_web_view_controller.h"

namespace qvad {

class QvRewardVideoWebViewController : public BaseWKWebViewController {
 public:
  QvRewardVideoWebViewController() { runtimeClassName_ = "qvad.QvRewardVideoWebViewController"; }
  const char* className() const override { return "QvRewardVideoWebViewController"; }

 protected:
  void viewDidLoad() override { BaseWKWebViewController::viewDidLoad(); }
};

}  // namespace qvad
