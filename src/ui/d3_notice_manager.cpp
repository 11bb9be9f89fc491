#include "ui/d3_notice_manager.h"

#include "platform/main_queue.h"
#include "platform/toolkit/application.h"
#include "ui/d3_notice_view.h"
#include "ui/notice_type.h"

namespace qvad {
namespace {

constexpr double kNoticeZPosition = 9999999;

}  // namespace

D3NoticeManager& D3NoticeManager::sharedInstance() {
  static D3NoticeManager* manager = new D3NoticeManager();  // never destroyed
  return *manager;
}

D3NoticeManager::D3NoticeManager() : window_(Application::shared().keyWindow()) {}

std::shared_ptr<Window> D3NoticeManager::currentWindow() {
  auto w = window_.lock();
  if (!w) {
    w = Application::shared().keyWindow();
    window_ = w;
  }
  return w;
}

void D3NoticeManager::showText(const std::string& text, double time, bool autoClear, std::optional<Point> centerPoint) {
  clearNotice();
  std::shared_ptr<D3NoticeView> reused;
  for (const auto& v : notices_) {
    if (v->tag() == rawValue(NoticeType::onlyText)) {
      reused = std::dynamic_pointer_cast<D3NoticeView>(v);
      break;
    }
  }
  if (!reused) {
    addNotice(D3NoticeView::withText(text), time, autoClear);
    return;
  }
  reused->setTextContent(text);
  // A notice made while there was no window, or whose window has gone, joins the
  // current one, or it would stay invisible for good.
  auto w = currentWindow();
  if (w && !reused->superview()) w->addSubview(reused);
  if (auto host = reused->superview()) {
    Point c = host->bounds().center();
    reused->setCenter(centerPoint ? Point{c.x, c.y * 0.5} : c);
  }
  reused->setHidden(false);
  if (autoClear) scheduleHide(reused, time);
}

void D3NoticeManager::addNotice(const std::shared_ptr<View>& view, double time, bool autoClear) {
  if (!view) return;
  auto w = currentWindow();
  if (w) view->setCenter(w->bounds().center());
  view->setZPosition(kNoticeZPosition);
  if (w) w->addSubview(view);
  notices_.push_back(view);
  if (autoClear) scheduleHide(view, time);
}

void D3NoticeManager::hideNotice(const std::shared_ptr<View>& view) {
  if (view) view->setHidden(true);
}

void D3NoticeManager::clearNotice() {
  for (const auto& v : notices_) {
    if (v->tag() >= rawValue(NoticeType::success) && v->tag() <= rawValue(NoticeType::wait)) v->setHidden(true);
  }
}

void D3NoticeManager::scheduleHide(const std::shared_ptr<View>& view, double time) {
  std::weak_ptr<View> weak = view;
  MainQueue::main().asyncAfter(time, [this, weak] { hideNotice(weak.lock()); });
}

}  // namespace qvad
