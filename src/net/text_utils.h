// Text helpers of the request layer: digests, the documents path, the page-URL
// query parser and the JSON writers used for request bodies and bridge replies.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qvad {

/// SHA-1 of the UTF-8 bytes, as 40 lower-case hex digits.
std::string sha1(std::string_view text);
/// The same digits written into `out` without allocating; 40, or 0 when hashing failed.
std::size_t sha1Digits(std::string_view text, char (&out)[40]);
/// MD5 of the UTF-8 bytes, as 32 lower-case hex digits.
std::string qv_md5(std::string_view text);
/// The documents directory joined with the last path component of `text`.
std::string qv_doc(std::string_view text);

/// Whether the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool isValidUTF8(std::string_view text);

/// Lower-case hex of raw bytes.
std::string hexLower(const unsigned char* bytes, std::size_t n);

/// The query items of a URL, each value decoded twice ("+" counts as a space in the
/// second pass). Nothing when the URL does not parse or has no query part.
std::optional<std::map<std::string, std::string>> parseParams(std::string_view url);

/// Percent-decodes; nothing when a "%" is not followed by two hex digits or the
/// result is not UTF-8.
std::optional<std::string> percentDecode(std::string_view text);

/// Compact JSON of a map (a JSON object). A value JSON cannot hold (binary data, NaN
/// or infinity) prints "JSONSerialization error" and gives nothing; text that is not
/// UTF-8 gives the empty text.
std::optional<std::string> toJSONString(const nlohmann::json& map);
/// The same without the console line, and nothing where toJSONString gives "".
std::optional<std::string> getJSONString(const nlohmann::json& map);
/// Whether a JSON writer accepts the value (no binary, no NaN or infinity anywhere).
bool isValidJSONObject(const nlohmann::json& value);

/// The shortest decimal text that reads back as the same double, in the platform's
/// style: 0.0, -122.4194, 1e-05, 1.8014398509481984e+16.
std::string shortestDoubleText(double value);

}  // namespace qvad
