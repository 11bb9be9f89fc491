#include "platform/toolkit/view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/main_queue.h"
#include "platform/toolkit/view_controller.h"
#include "platform/toolkit/window.h"

namespace qvad {

View::View(Rect frame) : frame_(frame) {}

View::~View() = default;

void View::setFrame(Rect frame) {
  if (frame == frame_) return;
  const bool resized = frame.size != frame_.size;
  frame_ = frame;
  // The old area needs repainting as much as the new one: the superview hears it.
  if (auto s = superview()) {
    s->setNeedsDisplay();
  } else {
    setNeedsDisplay();
  }
  if (resized) {
    if (auto vc = controller_.lock()) vc->viewDidLayoutSubviews();
  }
}

void View::setNeedsDisplay() {
  View* root = this;
  std::shared_ptr<View> keep;  // holds each ancestor while we look past it
  while (auto s = root->superview()) {
    keep = std::move(s);
    root = keep.get();
  }
  root->subtreeNeedsDisplay();
}

void View::setCenter(Point c) {
  Rect f = frame_;
  f.origin = {c.x - f.width() * 0.5, c.y - f.height() * 0.5};
  setFrame(f);
}

Point View::convertToWindow(Point p) const {
  Point out = p;
  auto v = sharedAs<View>();
  while (auto s = v->superview()) {
    out.x += v->frame_.x();
    out.y += v->frame_.y();
    v = s;
  }
  return out;
}

void View::addSubview(const std::shared_ptr<View>& view) {
  // An ancestor under its own descendant would make the tree a cycle of owners.
  if (!view || isDescendantOf(*view)) return;
  auto self = sharedAs<View>();
  if (view->superview().get() == this) {
    bringSubviewToFront(view);
    return;
  }
  auto keep = view;  // removeFromSuperview may drop the last other reference
  keep->removeFromSuperview();
  keep->superview_ = self;
  subviews_.push_back(keep);
  setNeedsDisplay();
}

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) {
  if (!view || isDescendantOf(*view)) return;
  auto keep = view;
  keep->removeFromSuperview();
  keep->superview_ = sharedAs<View>();
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(std::min(index, subviews_.size())), keep);
  setNeedsDisplay();
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
  auto it = std::find(subviews_.begin(), subviews_.end(), view);
  if (it == subviews_.end() || it + 1 == subviews_.end()) return;
  std::rotate(it, it + 1, subviews_.end());
  setNeedsDisplay();
}

void View::removeFromSuperview() {
  auto parent = superview();
  superview_.reset();
  if (!parent) return;
  auto& list = parent->subviews_;
  auto it = std::find_if(list.begin(), list.end(), [this](const auto& v) { return v.get() == this; });
  if (it != list.end()) {
    auto keep = std::move(*it);  // released after the list is consistent again
    list.erase(it);
    parent->setNeedsDisplay();
  }
}

bool View::isDescendantOf(const View& ancestor) const {
  for (const View* v = this; v; ) {
    if (v == &ancestor) return true;
    auto s = v->superview();
    v = s.get();
  }
  return false;
}

std::shared_ptr<View> View::viewWithTag(int tag) {
  if (tag_ == tag) return sharedAs<View>();
  for (const auto& s : subviews_) {
    if (auto found = s->viewWithTag(tag)) return found;
  }
  return nullptr;
}

std::shared_ptr<Window> View::window() const {
  auto root = std::const_pointer_cast<View>(sharedAs<View>());
  while (auto s = root->superview()) root = s;
  return std::dynamic_pointer_cast<Window>(root);
}

std::vector<std::shared_ptr<View>> View::subviewsInDrawingOrder() const {
  auto order = subviews_;
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a->zPosition() < b->zPosition(); });
  return order;
}

std::shared_ptr<Responder> View::nextResponder() const {
  if (auto vc = controller_.lock()) return vc;
  return superview();
}

std::shared_ptr<View> View::hitTest(Point p) {
  if (hidden_ || !userInteraction_ || alpha_ < 0.01) return nullptr;
  if (!bounds().contains(p)) return nullptr;
  auto order = subviewsInDrawingOrder();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const auto& s = *it;
    if (auto hit = s->hitTest({p.x - s->frame_.x(), p.y - s->frame_.y()})) return hit;
  }
  return sharedAs<View>();
}

bool View::tap() {
  auto win = window();
  if (!win || win.get() == this) return handleTap();
  Point at = convertToWindow(bounds().center());
  return win->sendTap(at);
}

bool View::handleTap() {
  if (!tapHandlers_.empty()) {
    auto handlers = tapHandlers_;  // a handler may add handlers or drop this view
    auto keep = sharedAs<View>();
    for (auto& h : handlers) h();
    return true;
  }
  if (auto s = superview()) return s->handleTap();
  return false;
}

void View::addAnimation(const std::string& key, KeyframeAnimation animation) {
  animation.beginTime = MainQueue::main().now();
  animations_[key] = std::move(animation);
  setNeedsDisplay();
}

void View::removeAnimation(const std::string& key) {
  if (animations_.erase(key)) setNeedsDisplay();
}

bool View::hasRunningAnimation(double now) const {
  for (const auto& [key, anim] : animations_) {
    std::size_t count = anim.source ? anim.source->frameCount() : anim.values.size();
    if (anim.keyPath != "contents" || count < 2) continue;
    if (!(anim.duration > 0) || !std::isfinite(anim.duration)) continue;  // shows one value for good
    // Still cycling, or its last cycle ends and the view changes to its settled look.
    if ((now - anim.beginTime) / anim.duration <= anim.repeatCount) return true;
  }
  return false;
}

void View::contentsDrawn(const std::shared_ptr<const Image>& shown, int pixelWidth, int pixelHeight) {
  drawnContents_ = shown;
  contentsWereDrawn_ = true;
  if (pixelWidth <= 0 || pixelHeight <= 0) return;
  for (auto& [key, anim] : animations_) {
    if (anim.keyPath == "contents" && anim.source) anim.source->drawnAtPixelSize(pixelWidth, pixelHeight);
  }
}

bool View::animatedContentsChanged(double now) const {
  bool animated = false;
  for (const auto& [key, anim] : animations_) animated = animated || anim.keyPath == "contents";
  if (!animated) return false;
  if (!contentsWereDrawn_) return true;
  return presentedContents(now) != drawnContents_.lock();
}

const KeyframeAnimation* View::animation(const std::string& key) const {
  auto it = animations_.find(key);
  return it == animations_.end() ? nullptr : &it->second;
}

std::shared_ptr<const Image> View::presentedContents(double now) const {
  for (const auto& [key, anim] : animations_) {
    if (anim.keyPath != "contents") continue;
    if (auto v = anim.valueAt(now)) return v;
  }
  return contents_;
}

std::string View::description() const {
  char buf[160];
  std::snprintf(buf, sizeof buf, "<%s: %p; frame = (%g %g; %g %g); tag = %d>", className(),
                static_cast<const void*>(this), frame_.x(), frame_.y(), frame_.width(), frame_.height(), tag_);
  return buf;
}

}  // namespace qvad
