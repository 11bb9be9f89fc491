#include "net/utils.h"

#include <algorithm>
#include <array>
#include <vector>

#include "device/map_location_manager.h"
#include "device/qv_network_reachability_manager.h"
#include "net/text_utils.h"
#include "platform/advertising_identifier.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/device.h"
#include "platform/text_encoding.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"

namespace qvad {
namespace {

// RFC 3986 unreserved: what stays as it is in a query value.
constexpr bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string coordinateText(const std::optional<double>& v) { return shortestDoubleText(v.value_or(0.0)); }

// Percent-encodes text known to be UTF-8, writing straight into `out`.
void appendEncoded(std::string& out, std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t at = out.size();
  out.resize(at + 3 * value.size());
  char* p = out.data() + at;
  for (unsigned char c : value) {
    if (isUnreserved(c)) {
      *p++ = static_cast<char>(c);
    } else {
      *p++ = '%';
      *p++ = kHex[c >> 4];
      *p++ = kHex[c & 0xF];
    }
  }
  out.resize(std::size_t(p - out.data()));
}

}  // namespace

std::string Utils::nonce() {
  std::uint32_t r = RandomSource::current()->next();
  return std::to_string(r % 900000u + 100000u);
}

std::int64_t Utils::timestamp() {
  return static_cast<std::int64_t>(Clock::current()->secondsSince1970() * 1000.0);
}

std::string Utils::getMyIDFA() { return AdvertisingIdentifier::shared()->identifierForTracking(); }

std::string Utils::networkWordForFlags(std::uint32_t flags) {
  using M = QvNetworkReachabilityManager;
  auto status = M::networkReachabilityStatusForFlags(flags);
  if (status.kind != M::NetworkReachabilityStatus::Kind::reachable) return "not connect";
  return status.connectionType == M::ConnectionType::wwan ? "wwan" : "wifi";
}

std::string Utils::getCurrentNetwork() {
  auto monitor = QvNetworkReachabilityManager::create();
  std::uint32_t flags = 0;
  if (!monitor || !monitor->getFlags(&flags)) return "not connect";
  return networkWordForFlags(flags);
}

std::string Utils::getCurrentLanguage() {
  auto value = Defaults::standard()->object("AppleLanguages");
  if (!value || !value->is_array() || value->empty()) return "";
  for (const auto& v : *value) {
    if (!v.is_string()) return "";  // only a list of texts counts
  }
  return value->front().get<std::string>();
}

std::string Utils::longitudeText() { return coordinateText(MapLocationManager::shared().longitude()); }

std::string Utils::latitudeText() { return coordinateText(MapLocationManager::shared().latitude()); }

std::string Utils::systemVersionText() { return "ios_" + Device::systemVersion(); }

namespace {

using TextPair = std::pair<std::string_view, std::string_view>;

// What every signed URL carries besides the caller's parameters, in key order.
struct DefaultValues {
  std::optional<std::string> appKey = managerInternal::appKey();
  std::string deviceId = Utils::getMyIDFA();
  std::string nonce;
  std::string timestamp;

  DefaultValues(std::string n, std::int64_t ts) : nonce(std::move(n)), timestamp(std::to_string(ts)) {}

  std::size_t pairs(std::array<TextPair, 4>& out) const {
    std::size_t n = 0;
    if (appKey) out[n++] = {"appKey", *appKey};
    out[n++] = {"deviceId", deviceId};
    out[n++] = {"nonce", nonce};
    out[n++] = {"timestamp", timestamp};
    return n;
  }
};

constexpr std::string_view kSecretKey = "appSecret";

// The signed text of key-sorted pairs. Keys sort by their bytes, which for UTF-8 is
// code-point order, and "appSecret" is slotted in where it belongs.
template <class Pairs>
std::string signingTextOf(const Pairs& pairs, const std::optional<std::string>& secret) {
  std::size_t size = secret ? kSecretKey.size() + secret->size() + 2 : 0;
  for (const auto& [key, value] : pairs) size += key.size() + value.size() + 2;
  std::string text;
  text.reserve(size);
  auto append = [&text](std::string_view key, std::string_view value) {
    text += key;
    text += '=';
    text += value;
    text += ',';
  };
  bool secretWritten = !secret.has_value();
  for (const auto& [key, value] : pairs) {
    if (!secretWritten && std::string_view(key) >= kSecretKey) {
      append(kSecretKey, *secret);
      secretWritten = true;
    }
    if (key == kSecretKey) continue;  // replaced by the manager's secret, or dropped
    append(key, value);
  }
  if (!secretWritten) append(kSecretKey, *secret);
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace

ParameterMap Utils::getDefaultParams(const std::string& nonce, std::int64_t timestamp) {
  const DefaultValues values(nonce, timestamp);
  std::array<TextPair, 4> pairs;
  ParameterMap map;
  for (std::size_t i = 0, n = values.pairs(pairs); i < n; ++i) map.emplace(pairs[i].first, pairs[i].second);
  return map;
}

bool Utils::appendPercentEncoded(std::string& out, std::string_view value) {
  if (!isValidUTF8(value)) return false;
  appendEncoded(out, value);
  return true;
}

std::string Utils::signingText(const ParameterMap& params, const std::optional<std::string>& secret) {
  return signingTextOf(params, secret);
}

std::string Utils::getSignture(const ParameterMap& params, SigningTrace* trace) {
  std::string text = signingText(params, managerInternal::appSecret());
  std::string signature = sha1(text);
  if (trace) *trace = {std::move(text), signature};
  return signature;
}

std::string Utils::getURL(const std::string& url, const ParameterMap& params, SigningTrace* trace) {
  const DefaultValues defaults(nonce(), timestamp());
  // Whatever bytes a caller passed, the signed text and the URL carry the same text.
  // Text that is already UTF-8 (all of it, in practice) is used where it lies.
  ParameterMap repaired;
  const ParameterMap* callers = &params;
  if (!std::all_of(params.begin(), params.end(),
                   [](const auto& p) { return isValidUTF8(p.first) && isValidUTF8(p.second); })) {
    for (const auto& [key, value] : params)
      repaired.insert_or_assign(isValidUTF8(key) ? key : makeValidUTF8(key), isValidUTF8(value) ? value : makeValidUTF8(value));
    callers = &repaired;
  }

  // The defaults and the caller's pairs merged in key order; the caller's win.
  std::array<TextPair, 4> fixed;
  const std::size_t fixedCount = defaults.pairs(fixed);
  std::vector<TextPair> pairs;
  pairs.reserve(fixedCount + callers->size() + 1);
  std::size_t i = 0;
  for (auto it = callers->begin(); i < fixedCount || it != callers->end();) {
    if (it == callers->end() || (i < fixedCount && fixed[i].first < std::string_view(it->first))) {
      pairs.push_back(fixed[i++]);
      continue;
    }
    if (i < fixedCount && fixed[i].first == it->first) ++i;
    pairs.emplace_back(it->first, it->second);
    ++it;
  }

  std::string text = signingTextOf(pairs, managerInternal::appSecret());
  char digits[40];
  const std::string_view signature(digits, sha1Digits(text, digits));
  if (trace) *trace = {std::move(text), std::string(signature)};

  // The signature takes its place in key order, over any the caller passed.
  constexpr std::string_view kSignatureKey = "signature";
  auto at = std::lower_bound(pairs.begin(), pairs.end(), kSignatureKey,
                             [](const TextPair& p, std::string_view key) { return p.first < key; });
  if (at != pairs.end() && at->first == kSignatureKey)
    at->second = signature;
  else
    pairs.insert(at, {kSignatureKey, signature});

  std::size_t size = url.size() + 1;
  for (const auto& [key, value] : pairs) size += key.size() + 3 * value.size() + 2;
  std::string out;
  out.reserve(size);
  out += url;
  out += '?';
  for (const auto& [key, value] : pairs) {
    out += key;
    out += '=';
    appendEncoded(out, value);  // always UTF-8 by now
    out += '&';
  }
  out.pop_back();
  return out;
}

}  // namespace qvad
