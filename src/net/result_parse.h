// Reading server replies: the envelope ("code", "msg") and the mapping of the payload
// onto a result type. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace qvad {

/// The declared failure of ResultParse::parse. The parser below never raises it; the
/// request manager reports it as -999 "nokey_error" should a parser ever do so.
enum class ParseError { NilError };

template <class T>
struct ParseResult {
  std::optional<T> value;
  std::optional<ParseError> error;
};

/// Deepest nesting of objects and lists a reply body may have.
inline constexpr std::size_t kMaxReplyNesting = 512;

/// A reply body as JSON: only an object or a list counts (no bare fragments such as
/// `1` or `"x"`), read over its full length; nothing for anything else, including an
/// empty body, a NUL byte anywhere, or nesting deeper than kMaxReplyNesting (refused
/// while parsing, before the tree grows).
std::optional<nlohmann::json> parseReplyBody(std::string_view body);

/// "code" of the envelope: an integer as it is, a number with a fraction cut toward
/// zero, true as 1 and false as 0. Nothing when the member is missing, of another type,
/// outside the signed 64-bit range, or when the reply is not an object.
std::optional<std::int64_t> envelopeCode(const nlohmann::json& reply);

/// "msg" of the envelope when it is a string, else the empty text.
std::string envelopeMsg(const nlohmann::json& reply);

/// The value reached from `root` by stepping into the member of each key in turn; a
/// missing member or a step out of a non-object gives null and the walk goes on.
const nlohmann::json& walkKeyPath(const nlohmann::json& root, const std::vector<std::string>& keys);

/// Result types provide `static std::optional<T> create(const json&)` and
/// `void mapping(const json&)`.
template <class T>
struct ResultParse {
  /// A T when the value reached by `keys` is a JSON object, else absent.
  static ParseResult<T> parse(const nlohmann::json& response, const std::vector<std::string>& keys) {
    const nlohmann::json& value = walkKeyPath(response, keys);
    ParseResult<T> result;
    if (!value.is_object()) return result;
    result.value = T::create(value);
    if (result.value) result.value->mapping(value);
    return result;
  }
};

}  // namespace qvad
