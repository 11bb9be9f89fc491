// The library's own resource files (icon artwork), compiled into the library and
// found by name and type, as "ic_reload" and "png". Thread-safe.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "platform/toolkit/image.h"

namespace qvad {

class Resources {
 public:
  /// Bytes of the file "name.type", or an empty span when there is none.
  static std::span<const unsigned char> data(std::string_view name, std::string_view type);
  /// The decoded image "name", preferring its 2-pixels-per-point file "name@2x.type".
  /// Decoded once and shared; nullptr when missing or not decodable.
  static std::shared_ptr<const Image> image(std::string_view name, std::string_view type = "png");
};

}  // namespace qvad
