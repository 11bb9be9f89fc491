#include "net/result_parse.h"

#include <cmath>

namespace qvad {

std::optional<nlohmann::json> parseReplyBody(std::string_view body) {
  // The parser is iterative, so deeply nested bodies cost memory (bounded by the body
  // cap), not stack.
  nlohmann::json value = nlohmann::json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded() || !(value.is_object() || value.is_array())) return std::nullopt;
  return value;
}

std::optional<std::int64_t> envelopeCode(const nlohmann::json& reply) {
  if (!reply.is_object()) return std::nullopt;
  auto it = reply.find("code");
  if (it == reply.end()) return std::nullopt;
  const nlohmann::json& code = *it;
  if (code.is_boolean()) return code.get<bool>() ? 1 : 0;
  if (code.is_number_integer() && !code.is_number_unsigned()) return code.get<std::int64_t>();
  if (code.is_number_unsigned()) {
    const auto u = code.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<std::int64_t>(u);
  }
  if (code.is_number_float()) {
    const double d = std::trunc(code.get<double>());
    // Outside the range a conversion would be undefined: such a code counts as missing.
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return std::nullopt;
    return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

std::string envelopeMsg(const nlohmann::json& reply) {
  if (!reply.is_object()) return {};
  auto it = reply.find("msg");
  if (it == reply.end() || !it->is_string()) return {};
  return it->get<std::string>();
}

const nlohmann::json& walkKeyPath(const nlohmann::json& root, const std::vector<std::string>& keys) {
  static const nlohmann::json kNull;
  const nlohmann::json* at = &root;
  for (const auto& key : keys) {
    if (!at->is_object()) {
      at = &kNull;
      continue;
    }
    auto it = at->find(key);
    at = it == at->end() ? &kNull : &*it;
  }
  return *at;
}

}  // namespace qvad
