// The retained view tree. Main thread only.
//
// Ownership: a view holds its subviews strongly and its superview weakly; removing a
// view from its superview drops that reference. Views are always made with
// View::make<T>(...) (or std::make_shared) so they can hand out references to themselves.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/geometry.h"
#include "platform/toolkit/graphics_context.h"
#include "platform/toolkit/image.h"
#include "platform/toolkit/keyframe_animation.h"
#include "platform/toolkit/responder.h"

namespace qvad {

class ViewController;
class Window;

class View : public Responder {
 public:
  explicit View(Rect frame = {});
  ~View() override;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  template <class T = View, class... Args>
  static std::shared_ptr<T> make(Args&&... args) {
    return std::make_shared<T>(std::forward<Args>(args)...);
  }

  // Geometry. The frame is in the superview's coordinates; bounds start at (0, 0).
  Rect frame() const { return frame_; }
  /// A change of size of a controller's root view then calls the controller's
  /// viewDidLayoutSubviews(); subviews keep their frames unless someone lays them out.
  virtual void setFrame(Rect frame);
  Rect bounds() const { return {0, 0, frame_.width(), frame_.height()}; }
  Point center() const { return frame_.center(); }
  void setCenter(Point c);
  /// `p` (in this view's coordinates) in the coordinates of the window, or of the
  /// topmost ancestor when the view is not in a window.
  Point convertToWindow(Point p) const;

  // Appearance.
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { changeAppearance(hidden_, hidden); }
  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  double alpha() const { return alpha_; }
  void setAlpha(double a) { changeAppearance(alpha_, a); }
  std::optional<Color> backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> c) { changeAppearance(backgroundColor_, c); }
  bool clipsToBounds() const { return clipsToBounds_; }
  void setClipsToBounds(bool clips) { changeAppearance(clipsToBounds_, clips); }
  // Layer attributes: corner radius (also clips the background), stacking order among
  // siblings (higher is drawn later and hit first), and contents drawn to fill the bounds.
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double r) { changeAppearance(cornerRadius_, r); }
  double zPosition() const { return zPosition_; }
  void setZPosition(double z) { changeAppearance(zPosition_, z); }
  std::shared_ptr<const Image> layerContents() const { return contents_; }
  void setLayerContents(std::shared_ptr<const Image> image) { changeAppearance(contents_, std::move(image)); }
  /// Adds (or replaces) the layer animation under `key`, starting now on the main queue.
  void addAnimation(const std::string& key, KeyframeAnimation animation);
  void removeAnimation(const std::string& key);
  const KeyframeAnimation* animation(const std::string& key) const;
  /// The contents on screen at main-queue time `now`: an animated value when a contents
  /// animation is running, else the layer contents.
  std::shared_ptr<const Image> presentedContents(double now) const;
  /// Whether a contents animation of this view still changes what is shown after `now`.
  bool hasRunningAnimation(double now) const;
  /// The renderer drew `shown` as this view's contents into `pixelWidth` x
  /// `pixelHeight` device pixels; frame sources of its animations hear the size.
  void contentsDrawn(const std::shared_ptr<const Image>& shown, int pixelWidth, int pixelHeight);
  /// Whether a contents animation makes this view show at `now` another image than the
  /// one last drawn (a new frame, a frame ready at last, the settled look at the end).
  bool animatedContentsChanged(double now) const;

  // Change signal. Every setter that changes what is drawn calls setNeedsDisplay(); a
  // view's own drawing state (a subclass's fields) calls it too. The window at the root
  // of the tree hears it (Window::setDisplayHandler) and repaints on its next frame.
  void setNeedsDisplay();

  // Tree.
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  /// Adds `view` on top of the others, taking it from its old superview first. This
  /// view itself or one of its ancestors is refused.
  void addSubview(const std::shared_ptr<View>& view);
  void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
  void bringSubviewToFront(const std::shared_ptr<View>& view);
  void removeFromSuperview();
  bool isDescendantOf(const View& ancestor) const;
  /// This view or the first descendant (depth first, in subview order) with `tag`.
  std::shared_ptr<View> viewWithTag(int tag);
  /// The window at the root of this view's tree, if any.
  std::shared_ptr<Window> window() const;
  /// Subviews ordered for drawing: by z-position, then by subview order.
  std::vector<std::shared_ptr<View>> subviewsInDrawingOrder() const;

  // Responder chain. A controller marks its root view so the chain reaches it.
  std::shared_ptr<Responder> nextResponder() const override;
  std::shared_ptr<ViewController> owningViewController() const { return controller_.lock(); }
  void setOwningViewController(const std::shared_ptr<ViewController>& vc) { controller_ = vc; }

  // Events. Taps are delivered by hit testing from the window (tap()), the same way a
  // pointer click on a desktop window is.
  bool isUserInteractionEnabled() const { return userInteraction_; }
  void setUserInteractionEnabled(bool on) { userInteraction_ = on; }
  /// Tap recogniser. Handlers run on the main thread; capture owners weakly.
  void addTapHandler(std::function<void()> handler) { tapHandlers_.push_back(std::move(handler)); }
  /// The deepest visible, interactive view under `p` (in this view's coordinates).
  std::shared_ptr<View> hitTest(Point p);
  /// Delivers a tap at this view's centre through its window's hit test; a view outside
  /// any window gets the tap directly. Returns false when no view took it.
  bool tap();
  /// Handles a tap that hit this view; the default runs the tap handlers and otherwise
  /// passes the tap to the superview. Returns true when something handled it.
  virtual bool handleTap();

  /// The view's own drawing, after the background and layer contents and before the
  /// subviews, in the view's coordinates (`rect` is its bounds). Each view class draws
  /// its content here (an image, a label's text, ...); the base view draws nothing.
  virtual void draw(GraphicsContext& /*context*/, Rect /*rect*/) {}
  /// Printed form for console lines.
  virtual std::string description() const;
  virtual const char* className() const { return "View"; }

 protected:
  /// Called on the root of a tree when something in it changed; a window overrides it.
  virtual void subtreeNeedsDisplay() {}
  /// Sets `field` to `value` and signals a change when it differs.
  template <class T, class U>
  void changeAppearance(T& field, U&& value) {
    if (field == value) return;
    field = std::forward<U>(value);
    setNeedsDisplay();
  }

 private:
  Rect frame_;
  bool hidden_ = false;
  int tag_ = 0;
  double alpha_ = 1;
  std::optional<Color> backgroundColor_;
  bool clipsToBounds_ = false;
  double cornerRadius_ = 0;
  double zPosition_ = 0;
  std::shared_ptr<const Image> contents_;
  std::map<std::string, KeyframeAnimation> animations_;
  std::weak_ptr<const Image> drawnContents_;  // weak: an image gone since counts as changed
  bool contentsWereDrawn_ = false;
  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<View> superview_;
  std::weak_ptr<ViewController> controller_;
  bool userInteraction_ = true;
  std::vector<std::function<void()>> tapHandlers_;
};

}  // namespace qvad
