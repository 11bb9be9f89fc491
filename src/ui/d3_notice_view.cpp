#include "ui/d3_notice_view.h"

#include "ui/label_size_to_fix.h"
#include "ui/notice_type.h"

namespace qvad {
namespace {

constexpr double kHorizontalMargin = 50;  // both sides together
constexpr double kVerticalMargin = 30;

}  // namespace

std::shared_ptr<D3NoticeView> D3NoticeView::withText(const std::optional<std::string>& text) {
  auto v = View::make<D3NoticeView>();
  v->setCornerRadius(12);
  v->setBackgroundColor(Color::black(0.8));
  auto l = View::make<Label>();
  l->setText(text);
  l->setNumberOfLines(0);
  l->setFont(Font::systemFont(13));
  l->setTextAlignment(TextAlignment::center);
  l->setTextColor(Color::white());
  sizeToFix(*l);
  v->addSubview(l);
  v->label = l;
  v->setFrame({0, 0, l->frame().width() + kHorizontalMargin, l->frame().height() + kVerticalMargin});
  l->setCenter({v->frame().width() * 0.5, v->frame().height() * 0.5});
  v->setTag(rawValue(NoticeType::onlyText));
  return v;
}

void D3NoticeView::setTextContent(const std::optional<std::string>& text) {
  if (!label) return;
  label->setText(text);
  sizeToFix(*label);
  setFrame({0, 0, label->frame().width() + kHorizontalMargin, label->frame().height() + kVerticalMargin});
  label->setCenter({frame().width() * 0.5, label->center().y});
}

}  // namespace qvad
