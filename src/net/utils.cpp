#include "net/utils.h"

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

ParameterMap Utils::getDefaultParams(const std::string& nonce, std::int64_t timestamp) {
  ParameterMap map;
  if (auto key = managerInternal::appKey()) map.emplace("appKey", std::move(*key));
  map.emplace("deviceId", getMyIDFA());
  map.emplace("nonce", nonce);
  map.emplace("timestamp", std::to_string(timestamp));
  return map;
}

bool Utils::appendPercentEncoded(std::string& out, std::string_view value) {
  if (!isValidUTF8(value)) return false;
  appendEncoded(out, value);
  return true;
}

std::string Utils::signingText(const ParameterMap& params, const std::optional<std::string>& secret) {
  static const std::string kSecretKey = "appSecret";
  std::string text;
  text.reserve(256);
  bool secretWritten = !secret.has_value();
  auto append = [&text](const std::string& key, const std::string& value) {
    text += key;
    text += '=';
    text += value;
    text += ',';
  };
  // The map is ordered by key bytes, which for UTF-8 is code-point order: the pairs
  // come out sorted, and "appSecret" is slotted in where it belongs.
  for (const auto& [key, value] : params) {
    if (!secretWritten && key >= kSecretKey) {
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

std::string Utils::getSignture(const ParameterMap& params, SigningTrace* trace) {
  std::string text = signingText(params, managerInternal::appSecret());
  std::string signature = sha1(text);
  if (trace) *trace = {std::move(text), signature};
  return signature;
}

std::string Utils::getURL(const std::string& url, const ParameterMap& params, SigningTrace* trace) {
  const std::int64_t ts = timestamp();
  const std::string n = nonce();
  ParameterMap map = getDefaultParams(n, ts);
  // Whatever bytes a caller passed, the signed text and the URL carry the same text.
  for (const auto& [key, value] : params) {
    map.insert_or_assign(isValidUTF8(key) ? key : makeValidUTF8(key), isValidUTF8(value) ? value : makeValidUTF8(value));
  }

  std::string signature = getSignture(map, trace);
  map.insert_or_assign("signature", std::move(signature));

  std::string out;
  out.reserve(url.size() + 64 * map.size());
  out += url;
  out += '?';
  for (const auto& [key, value] : map) {
    out += key;
    out += '=';
    appendEncoded(out, value);  // always UTF-8 by now
    out += '&';
  }
  out.pop_back();
  return out;
}

}  // namespace qvad
