#include "platform/toolkit/view_controller.h"

#include <algorithm>
#include <cstdio>

#include "platform/log.h"
#include "platform/main_queue.h"
#include "platform/toolkit/navigation_controller.h"
#include "platform/toolkit/screen.h"
#include "platform/toolkit/tab_bar_controller.h"
#include "platform/toolkit/window.h"

namespace qvad {
namespace {

void runTransition(bool animated, Task finish) {
  if (animated) {
    MainQueue::main().asyncAfter(kTransitionDuration, std::move(finish));
  } else {
    MainQueue::main().async(std::move(finish));
  }
}

}  // namespace

ViewController::ViewController() = default;
ViewController::~ViewController() = default;

std::shared_ptr<View> ViewController::view() {
  if (!view_) {
    loadView();
    if (!view_) setView(View::make(Screen::main().bounds()));
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
  if (view_ && view_ != view) view_->setOwningViewController(nullptr);
  view_ = std::move(view);
  if (view_) view_->setOwningViewController(sharedAs<ViewController>());
}

void ViewController::loadView() {
  auto v = View::make(Screen::main().bounds());
  v->setBackgroundColor(Color::white());
  setView(std::move(v));
}

std::shared_ptr<ViewController> ViewController::presentationContext() {
  auto c = sharedAs<ViewController>();
  while (auto p = c->parent()) c = p;
  return c;
}

std::shared_ptr<const ViewController> ViewController::presentationContext() const {
  auto c = sharedAs<ViewController>();
  while (auto p = c->parent()) c = p;
  return c;
}

std::shared_ptr<ViewController> ViewController::presentedViewController() const {
  return presentationContext()->presented_;
}

std::shared_ptr<ViewController> ViewController::presentingViewController() const {
  return presentationContext()->presenting_.lock();
}

bool ViewController::transitionInProgress() const {
  if (beingPresented_ || beingDismissed_) return true;
  auto ctx = presentationContext();
  if (ctx->transitioning_ || ctx->beingPresented_ || ctx->beingDismissed_) return true;
  auto presenter = ctx->presenting_.lock();
  return presenter && presenter->transitioning_;
}

namespace {

struct TransitionWaiter {
  std::weak_ptr<ViewController> controller;
  std::function<void()> task;
};

// Main thread only, as every controller.
std::vector<TransitionWaiter>& transitionWaiters() {
  static auto* waiters = new std::vector<TransitionWaiter>();
  return *waiters;
}

// After each transition's end (and its completion, which may start another): the waiters
// whose controllers are settled now, or gone, run on a later turn.
void transitionEnded() {
  auto& waiters = transitionWaiters();
  std::vector<std::function<void()>> ready;
  std::erase_if(waiters, [&](TransitionWaiter& w) {
    auto c = w.controller.lock();
    if (c && c->transitionInProgress()) return false;
    ready.push_back(std::move(w.task));
    return true;
  });
  for (auto& task : ready) MainQueue::main().async(std::move(task));
}

}  // namespace

void ViewController::whenTransitionsEnd(std::function<void()> task) {
  if (!task) return;
  if (!transitionInProgress()) {
    MainQueue::main().async(std::move(task));
    return;
  }
  transitionWaiters().push_back({sharedAs<ViewController>(), std::move(task)});
}

void ViewController::present(const std::shared_ptr<ViewController>& vc, bool animated,
                             std::function<void()> completion) {
  auto ctx = presentationContext();
  if (!vc || vc == ctx) return;
  // A controller that presents one already (maybe ctx's own presenter) would turn the
  // chain into a loop of owners.
  if (ctx->transitioning_ || ctx->presented_ || vc->presenting_.lock() || vc->presented_ || vc->parent()) {
    logLine("Attempt to present " + vc->description() + " on " + ctx->description() +
            " while a presentation is in progress or in place");
    return;
  }
  ctx->presented_ = vc;
  vc->presenting_ = ctx;
  ctx->transitioning_ = true;
  vc->beingPresented_ = true;

  auto shownView = vc->view();
  std::shared_ptr<View> host = ctx->view_ ? ctx->view_->superview() : nullptr;
  if (host) {
    shownView->setFrame(host->bounds());
    host->addSubview(shownView);
  }
  vc->viewWillAppear(animated);
  runTransition(animated, [ctx, vc, animated, completion = std::move(completion)] {
    ctx->transitioning_ = false;
    vc->beingPresented_ = false;
    // A full-screen presentation covers everything: the presenting view leaves the tree
    // until the dismissal puts it back.
    if (vc->style_ == ModalPresentationStyle::fullScreen && ctx->presented_ == vc && ctx->view_ && vc->view_ &&
        ctx->view_->superview() && ctx->view_->superview() == vc->view_->superview()) {
      ctx->view_->removeFromSuperview();
    }
    vc->viewDidAppear(animated);
    if (completion) completion();
    transitionEnded();
  });
}

void ViewController::dismiss(bool animated, std::function<void()> completion) {
  auto ctx = presentationContext();
  if (ctx->presented_) {
    ctx->dismissPresented(animated, std::move(completion));
  } else if (auto presenter = ctx->presenting_.lock()) {
    presenter->dismissPresented(animated, std::move(completion));
  }
}

void ViewController::dismissPresented(bool animated, std::function<void()> completion) {
  auto victim = presented_;
  if (!victim) return;
  if (transitioning_) {
    logLine("Attempt to dismiss " + victim->description() + " while a transition is in progress");
    return;
  }
  transitioning_ = true;
  victim->beingDismissed_ = true;
  // Put the presenting view back beneath the lowest view of the chain going away.
  if (view_ && !view_->superview()) {
    for (auto c = victim; c; c = c->presented_) {
      auto host = c->view_ ? c->view_->superview() : nullptr;
      if (!host) continue;
      const auto& list = host->subviews();
      auto it = std::find(list.begin(), list.end(), c->view_);
      host->insertSubview(view_, static_cast<std::size_t>(it - list.begin()));
      // The window may have been resized while this view was out of it.
      if (dynamic_cast<Window*>(host.get())) view_->setFrame(host->bounds());
      break;
    }
  }
  victim->viewWillDisappear(animated);
  runTransition(animated, [self = sharedAs<ViewController>(), victim, animated, completion = std::move(completion)] {
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto c = victim; c; c = c->presented_) chain.push_back(c);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      auto& c = *it;
      if (c->view_) c->view_->removeFromSuperview();
      c->presented_.reset();
      c->presenting_.reset();
      c->transitioning_ = false;
    }
    if (self->presented_ == victim) self->presented_.reset();
    self->transitioning_ = false;
    victim->beingDismissed_ = false;
    victim->viewDidDisappear(animated);
    if (completion) completion();
    transitionEnded();
  });
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
  for (auto p = parent(); p; p = p->parent()) {
    if (auto nav = std::dynamic_pointer_cast<NavigationController>(p)) return nav;
  }
  return nullptr;
}

std::shared_ptr<TabBarController> ViewController::tabBarController() const {
  for (auto p = parent(); p; p = p->parent()) {
    if (auto tab = std::dynamic_pointer_cast<TabBarController>(p)) return tab;
  }
  return nullptr;
}

void ViewController::addChild(const std::shared_ptr<ViewController>& child) {
  if (!child) return;
  // A container of this controller as its child would loop the parent chain.
  for (const ViewController* c = this; c; c = c->parent_.lock().get()) {
    if (c == child.get()) return;
  }
  if (auto old = child->parent()) old->removeChild(*child);
  child->parent_ = sharedAs<ViewController>();
  children_.push_back(child);
}

void ViewController::removeChild(const ViewController& child) {
  auto it = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.get() == &child; });
  if (it == children_.end()) return;
  auto keep = std::move(*it);
  children_.erase(it);
  keep->parent_.reset();
}

std::shared_ptr<Responder> ViewController::nextResponder() const {
  return view_ ? view_->superview() : nullptr;
}

std::string ViewController::description() const {
  char buf[96];
  std::snprintf(buf, sizeof buf, "<%s: %p>", className(), static_cast<const void*>(this));
  return buf;
}

}  // namespace qvad
