// A view that shows an image scaled to fill its bounds.
#pragma once

#include "platform/toolkit/view.h"

namespace qvad {

class ImageView : public View {
 public:
  explicit ImageView(Rect frame = {}) : View(frame) { setUserInteractionEnabled(false); }
  explicit ImageView(std::shared_ptr<const Image> image) : View(Rect{{0, 0}, image ? image->size() : Size{}}), image_(std::move(image)) {
    setUserInteractionEnabled(false);
  }

  std::shared_ptr<const Image> image() const { return image_; }
  void setImage(std::shared_ptr<const Image> image) { changeAppearance(image_, std::move(image)); }
  /// The image scaled to fill the bounds.
  void draw(GraphicsContext& context, Rect rect) override {
    if (image_) context.drawImage(*image_, rect);
  }
  const char* className() const override { return "ImageView"; }

 private:
  std::shared_ptr<const Image> image_;
};

}  // namespace qvad
