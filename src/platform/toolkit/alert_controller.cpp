#include "platform/toolkit/alert_controller.h"

#include <algorithm>

#include "platform/toolkit/label.h"
#include "platform/toolkit/screen.h"

namespace qvad {
namespace {

constexpr double kBoxWidth = 270;
constexpr double kPadding = 16;
constexpr double kFieldHeight = 30;
constexpr double kButtonHeight = 44;

}  // namespace

AlertController::AlertController(std::optional<std::string> title, std::optional<std::string> message,
                                 AlertControllerStyle style)
    : title_(std::move(title)), message_(std::move(message)), style_(style) {
  setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
}

void AlertController::addAction(AlertAction action) {
  actions_.push_back(std::move(action));
  if (isViewLoaded()) layoutContent();
}

void AlertController::addTextField(const std::function<void(TextField&)>& configure) {
  auto field = View::make<TextField>(Rect{0, 0, kBoxWidth - 2 * kPadding, kFieldHeight});
  field->setBackgroundColor(Color::white());
  if (configure) configure(*field);
  textFields_.push_back(std::move(field));
  if (isViewLoaded()) layoutContent();
}

void AlertController::loadView() {
  auto dim = View::make(Screen::main().bounds());
  dim->setBackgroundColor(Color::black(0.4));
  setView(dim);
  layoutContent();
}

void AlertController::layoutContent() {
  auto root = view();
  if (box_) box_->removeFromSuperview();
  box_ = View::make(Rect{0, 0, kBoxWidth, 0});
  box_->setBackgroundColor(Color::rgb(242, 242, 247));
  box_->setCornerRadius(13);
  box_->setClipsToBounds(true);
  double y = kPadding;
  auto addText = [&](const std::optional<std::string>& text, Font font) {
    if (!text || text->empty()) return;
    auto label = View::make<Label>();
    label->setText(*text);
    label->setFont(font);
    label->setNumberOfLines(0);
    label->setTextAlignment(TextAlignment::center);
    Size s = label->textSize(kBoxWidth - 2 * kPadding);
    label->setFrame({kPadding, y, kBoxWidth - 2 * kPadding, s.height});
    box_->addSubview(label);
    y += s.height + 4;
  };
  addText(title_, Font::boldSystemFont(17));
  addText(message_, Font::systemFont(13));
  for (const auto& field : textFields_) {
    y += 8;
    field->setFrame({kPadding, y, kBoxWidth - 2 * kPadding, kFieldHeight});
    box_->addSubview(field);
    y += kFieldHeight;
  }
  y += kPadding;
  buttons_.clear();
  std::weak_ptr<AlertController> weak = sharedAs<AlertController>();
  for (std::size_t i = 0; i < actions_.size(); ++i) {
    auto b = View::make<Button>(Rect{0, y, kBoxWidth, kButtonHeight}, ButtonType::system);
    b->setTitle(actions_[i].title);
    b->setBackgroundColor(Color::white(0.6));
    if (actions_[i].style == AlertActionStyle::destructive) b->setTitleColor(Color::rgb(255, 59, 48));
    b->addTarget(ControlEvent::touchUpInside, [weak, i] {
      if (auto self = weak.lock()) self->actionPressed(i);
    });
    box_->addSubview(b);
    buttons_.push_back(b);
    y += kButtonHeight;
  }
  Rect bounds = root->bounds();
  box_->setFrame({(bounds.width() - kBoxWidth) / 2, (bounds.height() - y) / 2, kBoxWidth, y});
  root->addSubview(box_);
}

void AlertController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  centreBox();
}

void AlertController::viewDidLayoutSubviews() {
  ViewController::viewDidLayoutSubviews();
  centreBox();
}

void AlertController::centreBox() {
  if (!box_) return;
  Rect b = view()->bounds();
  Rect f = box_->frame();
  box_->setFrame({(b.width() - f.width()) / 2, (b.height() - f.height()) / 2, f.width(), f.height()});
}

std::shared_ptr<Button> AlertController::actionButton(std::size_t index) {
  view();
  return index < buttons_.size() ? buttons_[index] : nullptr;
}

bool AlertController::pressAction(std::size_t index) {
  auto b = actionButton(index);
  return b && b->tap();
}

void AlertController::actionPressed(std::size_t index) {
  if (handled_ || index >= actions_.size()) return;  // one answer per alert
  handled_ = true;
  AlertAction action = actions_[index];
  dismiss(true, [action] {
    if (action.handler) action.handler(action);
  });
}

}  // namespace qvad
