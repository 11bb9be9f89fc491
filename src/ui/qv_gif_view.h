// Stand-in animated image view until the GIF player lands: downloads the image and
// completes on the main queue. Replaced wholesale by the player's own file.
#pragma once

#include <functional>
#include <string>

#include "platform/toolkit/view.h"

namespace qvad {

class QvGIFView : public View {
 public:
  QvGIFView() = default;
  /// Downloads `url`, then runs `complete` on the main thread when a 2xx body arrived.
  void showGIFImageWithWebNetWorkUrl(const std::string& url, std::function<void()> complete);
  const char* className() const override { return "QvGIFView"; }
};

}  // namespace qvad
