// One ad of a query reply. Every field is absent unless the reply holds a JSON
// string under its key ("image", "landing", "impl", "click").
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace qvad {

struct AdModel {
  std::optional<std::string> imageUrl;        // "image": the GIF of the floating badge
  std::optional<std::string> landingUrl;      // "landing": landing page or ad page
  std::optional<std::string> reportImplUrl;   // "impl": impression tracking URL
  std::optional<std::string> reportClickUrl;  // "click": click tracking URL

  /// Creation from a JSON object always succeeds and leaves every field absent.
  static std::optional<AdModel> create(const nlohmann::json&) { return AdModel{}; }
  /// Reads the four keys; a missing key, null or a non-string leaves the field absent.
  void mapping(const nlohmann::json& map);
};

}  // namespace qvad
