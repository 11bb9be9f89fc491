// View controllers: a lazily loaded root view, modal presentation and containment.
// Main thread only.
//
// Ownership: a presenting controller holds its presented controller strongly and the
// presented one refers back weakly; a container holds its children strongly. Once a
// dismissal has finished the presenter lets go, so a dismissed controller nobody else
// references is destroyed then (its destructor is its teardown).
//
// Transitions: presenting and dismissing finish later on the main queue, after
// kTransitionDuration of main-loop time when animated, on the next turn of the loop
// otherwise; completions run then. While one runs, transitionInProgress() is true and
// further presentations or dismissals from the same presenter are refused with a
// console line. A full-screen presentation takes the presenting view out of the window
// when it finishes; the other styles leave it beneath. A presented view is given its
// host's bounds, and a window keeps the controller views it holds the size of its
// bounds (Window::setFrame).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/responder.h"
#include "platform/toolkit/view.h"

namespace qvad {

class NavigationController;
class TabBarController;

inline constexpr double kTransitionDuration = 0.3;

enum class ModalPresentationStyle { fullScreen, overFullScreen, custom };
enum class StatusBarStyle { defaultStyle, lightContent, darkContent };

class ViewController : public Responder {
 public:
  ViewController();
  ~ViewController() override;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  /// The root view, loaded on first access: loadView() then viewDidLoad().
  std::shared_ptr<View> view();
  bool isViewLoaded() const { return view_ != nullptr; }
  /// Replaces the root view (loadView overrides call this).
  void setView(std::shared_ptr<View> view);

  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }

  // Modal presentation. `completion` may be empty.
  void present(const std::shared_ptr<ViewController>& vc, bool animated, std::function<void()> completion = {});
  /// Dismisses what this controller (or its container) presents or, when it presents
  /// nothing, dismisses this controller itself. Controllers presented above the one
  /// dismissed go with it. With nothing to dismiss, nothing happens.
  void dismiss(bool animated, std::function<void()> completion = {});
  std::shared_ptr<ViewController> presentedViewController() const;
  std::shared_ptr<ViewController> presentingViewController() const;
  ModalPresentationStyle modalPresentationStyle() const { return style_; }
  void setModalPresentationStyle(ModalPresentationStyle s) { style_ = s; }
  /// True while a presentation or dismissal this controller takes part in is running.
  bool transitionInProgress() const;
  /// Runs `task` on the main queue once no such transition runs (on a later turn when
  /// none runs now), or once the controller is gone. For work that a transition would
  /// refuse or undo, such as presenting over a controller that is still sliding in.
  void whenTransitionsEnd(std::function<void()> task);
  bool isBeingPresented() const { return beingPresented_; }
  bool isBeingDismissed() const { return beingDismissed_; }

  // Containment.
  std::shared_ptr<ViewController> parent() const { return parent_.lock(); }
  const std::vector<std::shared_ptr<ViewController>>& children() const { return children_; }
  /// The nearest enclosing navigation or tab-bar controller.
  std::shared_ptr<NavigationController> navigationController() const;
  std::shared_ptr<TabBarController> tabBarController() const;

  // Appearance hooks, called around presentation, dismissal and container changes.
  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewDidAppear(bool /*animated*/) {}
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual void viewDidDisappear(bool /*animated*/) {}
  /// Called after the root view's size changed (View::setFrame), e.g. when the window
  /// it fills was resized: lay the content out for view()->bounds(). It can come before
  /// viewDidLoad has finished (a loadView or viewDidLoad that resizes the root view), so
  /// an override checks that what it moves exists. Not called for the first size.
  virtual void viewDidLayoutSubviews() {}
  virtual bool prefersStatusBarHidden() const { return false; }
  virtual StatusBarStyle preferredStatusBarStyle() const { return StatusBarStyle::defaultStyle; }

  std::shared_ptr<Responder> nextResponder() const override;
  virtual const char* className() const { return "ViewController"; }
  /// Printed form for console lines, e.g. "<ViewController: 0x...>".
  virtual std::string description() const;

 protected:
  /// Makes the root view; the default is a plain view the size of the main screen.
  virtual void loadView();
  virtual void viewDidLoad() {}

  void addChild(const std::shared_ptr<ViewController>& child);
  void removeChild(const ViewController& child);

 private:
  std::shared_ptr<ViewController> presentationContext();
  std::shared_ptr<const ViewController> presentationContext() const;
  void dismissPresented(bool animated, std::function<void()> completion);

  std::shared_ptr<View> view_;
  std::string title_;
  ModalPresentationStyle style_ = ModalPresentationStyle::fullScreen;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  std::weak_ptr<ViewController> parent_;
  std::vector<std::shared_ptr<ViewController>> children_;
  bool transitioning_ = false;  // set on the presenter while its transition runs
  bool beingPresented_ = false;
  bool beingDismissed_ = false;
};

}  // namespace qvad
