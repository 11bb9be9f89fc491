#include "ui/d3_progress_view.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qvad {
namespace {

// Out-of-range or NaN progress would draw past the ring or break the drawing context.
double clampedProgress(double p) { return std::isfinite(p) ? std::clamp(p, 0.0, 1.0) : 0.0; }

void roundedRect(GraphicsContext& c, Rect r, double radius) {
  c.moveTo({r.x(), r.midY()});
  c.addArcToPoint({r.x(), r.y()}, {r.midX(), r.y()}, radius);
  c.addArcToPoint({r.maxX(), r.y()}, {r.maxX(), r.midY()}, radius);
  c.addArcToPoint({r.maxX(), r.maxY()}, {r.midX(), r.maxY()}, radius);
  c.addArcToPoint({r.x(), r.maxY()}, {r.x(), r.midY()}, radius);
  c.closePath();
}

}  // namespace

void D3ProgressView::draw(GraphicsContext& context, Rect /*rect*/) {
  if (type == NoticeType::lineProgress) {
    if (label) label->setFrame({0, 0, 90, 75});
    drawLine(context);
  } else {
    drawCircle(context);
  }
}

void D3ProgressView::drawCircle(GraphicsContext& c) {
  const double pi = std::numbers::pi;
  c.setFillColor(Color::white());
  c.addArc({45, 45}, 30, -pi / 2, 2 * pi * clampedProgress(progress) - pi / 2, true);
  c.setLineCap(LineCap::round);
  c.setLineWidth(4);
  c.setStrokeColor(Color::white());
  c.strokePath();
}

void D3ProgressView::drawLine(GraphicsContext& c) {
  c.saveState();
  c.setShouldAntialias(true);
  Rect outline = Rect{10, 55, 70, 16}.insetBy(1, 1);
  roundedRect(c, outline, outline.height() / 2);
  c.setStrokeColor(Color::white());
  c.setLineWidth(1);
  c.strokePath();

  Rect track = outline.insetBy(2, 2);  // 3 inside the unpadded rectangle
  double radius = track.height() / 2;
  roundedRect(c, track, radius);
  c.setFillColor(Color::clear());
  c.fillPath();

  double width = std::max(track.width() * clampedProgress(progress), radius * 2);
  roundedRect(c, {track.x(), track.y(), width, track.height()}, radius);
  c.setFillColor(Color::white());
  c.fillPath();
  c.restoreState();
}

}  // namespace qvad
