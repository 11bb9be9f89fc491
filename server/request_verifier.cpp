#include "request_verifier.h"

#include <openssl/crypto.h>

#include <charconv>

#include "net/text_utils.h"
#include "net/utils.h"

namespace sandbox {

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
