#include "platform/advertising_identifier.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "platform/data_directory_store.h"
#include "platform/file_util.h"

namespace qvad {
namespace {

bool isUpperUUID(const std::string& s) {
  if (s.size() != 36) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::shared_ptr<AdvertisingIdentifier> AdvertisingIdentifier::shared() {
  return dataDirectoryStore<AdvertisingIdentifier>("advertising-identifier.json", [](AdvertisingIdentifier&) {});
}

AdvertisingIdentifier::AdvertisingIdentifier(std::string path) : path_(std::move(path)) {}

std::string AdvertisingIdentifier::makeUUID() {
  // Never the installed source: a fixed test nonce must not become a persisted identifier.
  auto& random = RandomSource::system();
  unsigned char b[16];
  for (int i = 0; i < 16; i += 4) {
    std::uint32_t v = random.next();
    for (int k = 0; k < 4; ++k) b[i + k] = static_cast<unsigned char>(v >> (8 * k));
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  char out[37];
  std::snprintf(out, sizeof out, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return out;
}

void AdvertisingIdentifier::loadLocked() {
  if (loaded_) return;
  loaded_ = true;
  if (auto text = readFile(path_, 64 * 1024)) {
    auto j = nlohmann::json::parse(*text, nullptr, false);
    if (j.is_object()) {
      if (auto it = j.find("identifier"); it != j.end() && it->is_string() && isUpperUUID(it->get<std::string>()))
        uuid_ = it->get<std::string>();
      if (auto it = j.find("limitTracking"); it != j.end() && it->is_boolean()) limited_ = it->get<bool>();
    }
  }
  if (uuid_.empty()) {
    uuid_ = makeUUID();
    saveLocked();
  }
}

void AdvertisingIdentifier::saveLocked() {
  nlohmann::json j = {{"identifier", uuid_}, {"limitTracking", limited_}};
  writeFileAtomically(path_, j.dump(2) + "\n");  // a failed write keeps the identifier for this process
}

std::string AdvertisingIdentifier::uuidString() {
  std::lock_guard lock(mu_);
  loadLocked();
  return uuid_;
}

bool AdvertisingIdentifier::isAdvertisingTrackingEnabled() {
  std::lock_guard lock(mu_);
  loadLocked();
  return !limited_;
}

void AdvertisingIdentifier::setLimitTracking(bool limited) {
  std::lock_guard lock(mu_);
  loadLocked();
  limited_ = limited;
  saveLocked();
}

void AdvertisingIdentifier::reset() {
  std::lock_guard lock(mu_);
  loadLocked();
  uuid_ = makeUUID();
  saveLocked();
}

}  // namespace qvad
