#include "net/text_utils.h"

#include <openssl/evp.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/log.h"
#include "platform/text_encoding.h"
#include "qvad/configuration.h"

namespace qvad {
namespace {

// Digests only fail on allocation failure; `n` is 0 then.
unsigned digestInto(const EVP_MD* md, std::string_view text, unsigned char (&out)[EVP_MAX_MD_SIZE]) {
  // One context per thread, reset for each digest: the one-shot call allocates and
  // frees a context every time, a third of the cost of signing a query.
  thread_local std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  unsigned int n = 0;
  if (!ctx || EVP_DigestInit_ex2(ctx.get(), md, nullptr) != 1 ||
      EVP_DigestUpdate(ctx.get(), text.data(), text.size()) != 1 || EVP_DigestFinal_ex(ctx.get(), out, &n) != 1)
    return 0;
  return n;
}

std::string digestHex(const EVP_MD* md, std::string_view text) {
  unsigned char out[EVP_MAX_MD_SIZE];
  return hexLower(out, digestInto(md, text, out));  // an empty text when it failed
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Characters a URL may hold as they are (RFC 3986 unreserved, reserved and "%").
bool isURLCharacter(unsigned char c) {
  if (std::isalnum(c)) return true;
  return std::strchr("-._~:/?#[]@!$&'()*+,;=%", c) != nullptr && c != 0;
}

}  // namespace

std::string hexLower(const unsigned char* bytes, std::size_t n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(n * 2, '\0');
  for (std::size_t i = 0; i < n; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0xF];
  }
  return out;
}

bool isValidUTF8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    // Parameters are mostly ASCII: those bytes need no decoding.
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const UTF8Step step = utf8Step(s, i);
    if (!step.valid) return false;
    i += step.length;
  }
  return true;
}

// The digests fetched once: EVP_sha1() and EVP_md5() make OpenSSL look the
// implementation up under a lock on every use, which costs as much as hashing a
// signed query. Fetched objects are immutable and safe to share between threads.
static const EVP_MD* fetchedDigest(const char* name, const EVP_MD* fallback) {
  const EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  return md ? md : fallback;
}

static const EVP_MD* sha1Digest() {
  static const EVP_MD* const md = fetchedDigest("SHA1", EVP_sha1());
  return md;
}

std::string sha1(std::string_view text) { return digestHex(sha1Digest(), text); }

std::size_t sha1Digits(std::string_view text, char (&out)[40]) {
  static constexpr char kDigits[] = "0123456789abcdef";
  unsigned char bytes[EVP_MAX_MD_SIZE];
  const unsigned n = digestInto(sha1Digest(), text, bytes);
  for (unsigned i = 0; i < n && i < 20; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0xF];
  }
  return n == 20 ? 40 : 0;
}

std::string qv_md5(std::string_view text) {
  static const EVP_MD* const md = fetchedDigest("MD5", EVP_md5());
  return digestHex(md, text);
}

std::string qv_doc(std::string_view text) {
  // The last non-empty path component, as a path splitter yields it ("a/b/" gives "b").
  std::string_view s = text;
  while (s.size() > 1 && s.back() == '/') s.remove_suffix(1);
  auto slash = s.rfind('/');
  std::string_view last = (slash == std::string_view::npos || s.size() == 1) ? s : s.substr(slash + 1);
  return QvConfiguration::documentsDirectory() + "/" + std::string(last);
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int hi = hexValue(text[i + 1]);
    int lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  if (!isValidUTF8(out)) return std::nullopt;
  return out;
}

std::optional<std::map<std::string, std::string>> parseParams(std::string_view url) {
  // A URL-components parser refuses text with characters a URL cannot hold or with
  // broken percent escapes; so do we.
  for (std::size_t i = 0; i < url.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    if (!isURLCharacter(c)) return std::nullopt;
    if (c == '%' && (i + 2 >= url.size() || hexValue(url[i + 1]) < 0 || hexValue(url[i + 2]) < 0))
      return std::nullopt;
  }
  std::string_view rest = url;
  if (auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
  auto q = rest.find('?');
  if (q == std::string_view::npos) return std::nullopt;
  std::string_view query = rest.substr(q + 1);

  std::map<std::string, std::string> result;
  if (query.empty()) return result;
  std::size_t start = 0;
  for (;;) {
    auto amp = query.find('&', start);
    std::string_view item = query.substr(start, amp == std::string_view::npos ? std::string_view::npos : amp - start);
    auto eq = item.find('=');
    std::string_view rawName = item.substr(0, eq);
    auto name = percentDecode(rawName);
    std::string value;
    if (eq != std::string_view::npos) {
      if (auto once = percentDecode(item.substr(eq + 1))) {
        std::string plus;
        plus.reserve(once->size());
        for (char c : *once) {
          if (c == '+')
            plus += "%20";
          else
            plus.push_back(c);
        }
        value = percentDecode(plus).value_or(std::string());
      }
    }
    result[name.value_or(std::string(rawName))] = std::move(value);
    if (amp == std::string_view::npos) break;
    start = amp + 1;
  }
  return result;
}

bool isValidJSONObject(const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::binary:
    case nlohmann::json::value_t::discarded:
      return false;
    case nlohmann::json::value_t::number_float:
      return std::isfinite(value.get<double>());
    case nlohmann::json::value_t::object:
    case nlohmann::json::value_t::array:
      for (const auto& v : value) {
        if (!isValidJSONObject(v)) return false;
      }
      return true;
    default:
      return true;
  }
}

std::optional<std::string> getJSONString(const nlohmann::json& map) {
  if (!map.is_object() || !isValidJSONObject(map)) return std::nullopt;
  try {
    return map.dump();
  } catch (const nlohmann::json::exception&) {  // text that is not UTF-8
    return std::nullopt;
  }
}

std::optional<std::string> toJSONString(const nlohmann::json& map) {
  if (!map.is_object() || !isValidJSONObject(map)) {
    logLine("JSONSerialization error");
    return std::nullopt;
  }
  return getJSONString(map).value_or(std::string());
}

std::string shortestDoubleText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";

  // Shortest round-trip digits and decimal exponent, from the scientific form.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string sci(buf, r.ptr);
  auto e = sci.find('e');
  std::string mantissa = sci.substr(0, e);
  int exponent = std::stoi(sci.substr(e + 1));
  bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string digits;
  for (char c : mantissa) {
    if (c != '.') digits.push_back(c);
  }

  std::string out = negative ? "-" : "";
  const double magnitude = std::fabs(value);
  if (magnitude < 1e-4 || magnitude > 0x1.0p53) {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return out + exp;
  }
  const int point = exponent + 1;  // digits before the decimal point
  if (point <= 0) {
    out += "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
  } else if (static_cast<std::size_t>(point) >= digits.size()) {
    out += digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0') + ".0";
  } else {
    out += digits.substr(0, static_cast<std::size_t>(point)) + "." + digits.substr(static_cast<std::size_t>(point));
  }
  return out;
}

}  // namespace qvad
