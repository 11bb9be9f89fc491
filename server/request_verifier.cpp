#include "request_verifier.h"

#include <openssl/crypto.h>

#include <charconv>

#include "net/text_utils.h"
#include "net/utils.h"

namespace sandbox {

// Query values arrive percent-encoded and keys raw, as the library writes them; a
// later pair of the same name wins. A value that does not decode is kept as sent.
std::map<std::string, std::string> queryParams(std::string_view target) {
  std::map<std::string, std::string> params;
  auto q = target.find('?');
  if (q == std::string_view::npos) return params;
  std::string_view rest(target);
  rest.remove_prefix(q + 1);
  while (!rest.empty()) {
    auto amp = rest.find('&');
    std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    if (pair.empty()) continue;
    auto eq = pair.find('=');
    std::string key(pair.substr(0, eq));
    std::string_view raw = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    params[key] = qvad::percentDecode(raw).value_or(std::string(raw));
  }
  return params;
}

Verdict RequestVerifier::verify(const std::map<std::string, std::string>& params, std::int64_t nowMs) {
  for (const char* name : {"signature", "nonce", "timestamp", "deviceId"}) {
    if (!params.count(name)) return {kMissingParameter, std::string("missing parameter ") + name};
  }
  auto key = params.find("appKey");
  if (key == params.end()) return {kUnknownApp, "missing appKey"};
  auto secret = secrets_.find(key->second);
  if (secret == secrets_.end()) return {kUnknownApp, "unknown appKey"};

  // The library's own rules: every parameter but the signature, plus the secret.
  std::map<std::string, std::string> signedParams = params;
  const std::string signature = signedParams["signature"];
  signedParams.erase("signature");
  const std::string expected = qvad::sha1(qvad::Utils::signingText(signedParams, secret->second));
  if (signature.size() != expected.size() || CRYPTO_memcmp(signature.data(), expected.data(), expected.size()) != 0)
    return {kBadSignature, "bad signature"};

  const std::string& ts = params.at("timestamp");
  std::int64_t t = 0;
  auto [end, ec] = std::from_chars(ts.data(), ts.data() + ts.size(), t);
  if (ec != std::errc() || end != ts.data() + ts.size() || t < nowMs - windowMs_ || t > nowMs + windowMs_)
    return {kStaleTimestamp, "timestamp outside the accepted window"};

  // A signature covers nonce and timestamp, so it identifies the request; kept for as
  // long as its timestamp would be accepted.
  std::lock_guard lock(mu_);
  for (auto it = seen_.begin(); it != seen_.end();) {
    it = it->second < nowMs - 2 * windowMs_ ? seen_.erase(it) : std::next(it);
  }
  if (!seen_.emplace(signature, nowMs).second) return {kReplayed, "replayed request"};
  return {kOk, "ok"};
}

}  // namespace sandbox
