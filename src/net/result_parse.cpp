#include "net/result_parse.h"

#include <cmath>

namespace qvad {

namespace {

// Builds the tree as the ordinary parser does, but stops at the first object or list
// past the nesting limit: an unclosed megabyte of brackets must not cost the host
// tens of megabytes before it is refused.
class DepthLimitedBuilder {
 public:
  using json = nlohmann::json;
  explicit DepthLimitedBuilder(json& root) : dom_(root, /*allow_exceptions=*/false) {}

  bool null() { return dom_.null(); }
  bool boolean(bool v) { return dom_.boolean(v); }
  bool number_integer(json::number_integer_t v) { return dom_.number_integer(v); }
  bool number_unsigned(json::number_unsigned_t v) { return dom_.number_unsigned(v); }
  bool number_float(json::number_float_t v, const json::string_t& s) { return dom_.number_float(v, s); }
  bool string(json::string_t& v) { return dom_.string(v); }
  bool binary(json::binary_t& v) { return dom_.binary(v); }
  bool start_object(std::size_t n) { return ++depth_ <= kMaxReplyNesting && dom_.start_object(n); }
  bool key(json::string_t& v) { return dom_.key(v); }
  bool end_object() {
    --depth_;
    return dom_.end_object();
  }
  bool start_array(std::size_t n) { return ++depth_ <= kMaxReplyNesting && dom_.start_array(n); }
  bool end_array() {
    --depth_;
    return dom_.end_array();
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

 private:
  nlohmann::detail::json_sax_dom_parser<json> dom_;
  std::size_t depth_ = 0;
};

}  // namespace

std::optional<nlohmann::json> parseReplyBody(std::string_view body) {
  // The JSON reader takes a NUL byte for the end of its input; JSON text never holds
  // one, so a body with one is not JSON, whatever precedes it.
  if (body.find('\0') != std::string_view::npos) return std::nullopt;
  nlohmann::json value;
  DepthLimitedBuilder builder(value);
  const bool ok = nlohmann::json::sax_parse(body.begin(), body.end(), &builder, nlohmann::json::input_format_t::json,
                                            /*strict=*/true);
  if (!ok || value.is_discarded() || !(value.is_object() || value.is_array())) return std::nullopt;
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
