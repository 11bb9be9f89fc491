// The floating ad badge: an animated GIF square with a small close button in a
// 20-point band above its top-right corner, laid over a view of the host. A tap on the
// GIF opens the landing page in the in-app browser and reports the click; the close
// button removes the badge. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "net/ad_model.h"
#include "platform/toolkit/button.h"
#include "platform/toolkit/view.h"
#include "ui/qv_gif_view.h"

namespace qvad {

class QvInterActiveAdView : public View {
 public:
  using Action = std::function<void()>;
  /// Hears why the badge's GIF could not be shown (the GIF view's code and text).
  using LoadFailed = std::function<void(long code, std::string description)>;

  /// Side of the GIF square before scaling, and the band above it.
  static constexpr double viewWidth = 100.0;
  static constexpr double kBandHeight = 20.0;
  /// An origin with both coordinates at this value asks for the default position.
  static constexpr double kDefaultOriginMarker = -1000.0;

  /// A badge with its GIF view and close button, not yet placed (init()).
  static std::shared_ptr<QvInterActiveAdView> make(Rect frame = {});

  /// Makes a badge for `ad`, adds it on top of `customView` (or of the view of the key
  /// window's top controller), lays it out, starts the GIF and reports the impression.
  /// Without any container nothing happens at all. The container owns the badge.
  /// `onLoadFailed` runs when the GIF's download fails or its body is refused; the
  /// badge then stays hidden.
  static void showAdView(Point origin, double scale, std::shared_ptr<View> customView, AdModel ad,
                         Action onClickAction, Action onShowAction, Action onCloseAction,
                         LoadFailed onLoadFailed = nullptr);

  /// Builds the GIF view (with its tap handler) and the close button.
  void setupUI();
  /// Hides the badge, sets the three frames, starts loading the GIF (the badge shows
  /// when it has loaded) and calls the show action.
  void update();
  /// The GIF's tap: opens the landing page; only when the browser took it, reports
  /// the click and calls the click action.
  void onClickAd();
  /// The close button: removes the badge, then calls the close action.
  void onClickClose();

  std::shared_ptr<QvGIFView> gifView() const { return gifView_; }
  std::shared_ptr<Button> closeButton() const { return closeButton_; }
  std::optional<Point> origin() const { return origin_; }
  double scale() const { return scale_; }
  std::shared_ptr<View> customView() const { return customView_.lock(); }
  const AdModel& adModel() const { return adModel_; }

  explicit QvInterActiveAdView(Rect frame = {}) : View(frame) {}
  const char* className() const override { return "QvInterActiveAdView"; }

 private:
  std::shared_ptr<QvGIFView> gifView_;
  std::shared_ptr<Button> closeButton_;
  std::optional<Point> origin_;
  double scale_ = 1.0;
  // Weak: the container holds the badge as a subview, and a strong reference back
  // would keep both alive for ever once the host lets the container go.
  std::weak_ptr<View> customView_;
  AdModel adModel_;
  Action clickAction_;
  Action showAction_;
  Action closeAction_;
  LoadFailed loadFailed_;
};

}  // namespace qvad
