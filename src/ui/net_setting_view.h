// The network error view: a large picture telling of the network error, a reload
// button under it and an optional back button in the top-left corner. The picture and
// the button are centred across its width and placed for its height, again whenever its
// size changes. Main thread only.
//
// NetSettingProtocol gives a view controller the operations that add and remove it,
// keeping at most one such view (tag kNetSettingViewTag) on the controller's root view.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/toolkit/button.h"
#include "platform/toolkit/view.h"
#include "platform/toolkit/view_controller.h"

namespace qvad {

inline constexpr int kNetSettingViewTag = 1024;

class NetSettingView : public View {
 public:
  /// Builds the view and its content (a missing image leaves its control blank).
  static std::shared_ptr<NetSettingView> create(Rect frame);

  /// The reload and back buttons' actions: run the callback when one is set.
  void onClickBgView();
  void onClickBackBtn();

  bool showBackBtn = false;
  std::function<void()> onClickBgBlock;    // capture the owner weakly
  std::function<void()> onClickBackBlock;  // capture the owner weakly
  std::shared_ptr<Button> backBtn;
  /// Added without a frame of its own: follows its controller's root view (layoutNetSettingView).
  bool fillsRootView = false;
  void setFrame(Rect frame) override;
  const char* className() const override { return "NetSettingView"; }

  explicit NetSettingView(Rect frame) : View(frame) {}

 private:
  void layoutContent();

  std::shared_ptr<View> picture_;
  std::shared_ptr<Button> reload_;
};

/// The frame an error view gets without one of its own: the root view's bounds less
/// 40 points at the bottom.
Rect defaultNetSettingFrame(Rect rootBounds);

/// Replaces the controller's error view (the first direct subview of its root view
/// tagged kNetSettingViewTag) with a new one of `toFrame` (default:
/// defaultNetSettingFrame of the root view), added on top of `toView` (default: the root view).
void addNetSettingView(ViewController& vc, std::optional<Rect> toFrame, const std::shared_ptr<View>& toView,
                       bool showBackBtn, std::function<void()> onClickBgAction,
                       std::function<void()> onClickBackAction);
/// Removes the first error view found among the root view's direct subviews, if any.
void removeNetSettingView(ViewController& vc);
/// Gives that error view, when it was added without a frame, the default frame for the
/// root view's current size. For a controller's viewDidLayoutSubviews.
void layoutNetSettingView(ViewController& vc);

/// Mixin for view controllers that show the network error view.
class NetSettingProtocol {
 public:
  void addNetSettingView(std::optional<Rect> toFrame, const std::shared_ptr<View>& toView, bool showBackBtn,
                         std::function<void()> onClickBgAction, std::function<void()> onClickBackAction);
  void removeNetSettingView();
  void layoutNetSettingView();
  /// Opens this application's page of the system settings, when that URL can be opened.
  void onNetSettingClicked();

 protected:
  virtual ~NetSettingProtocol() = default;
};

}  // namespace qvad
