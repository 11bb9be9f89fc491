#include "net/ad_model.h"

namespace qvad {
namespace {

void readString(const nlohmann::json& map, const char* key, std::optional<std::string>& field) {
  auto it = map.find(key);
  if (it != map.end() && it->is_string()) field = it->get<std::string>();
}

}  // namespace

void AdModel::mapping(const nlohmann::json& map) {
  if (!map.is_object()) return;
  readString(map, "image", imageUrl);
  readString(map, "landing", landingUrl);
  readString(map, "impl", reportImplUrl);
  readString(map, "click", reportClickUrl);
}

}  // namespace qvad
