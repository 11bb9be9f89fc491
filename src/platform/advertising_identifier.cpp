#include "platform/advertising_identifier.h"

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "platform/data_directory_store.h"
#include "platform/file_util.h"
#include "platform/log.h"

namespace qvad {
namespace {

constexpr const char* kNoIdentifier = "00000000-0000-0000-0000-000000000000";

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

std::optional<std::string> AdvertisingIdentifier::loadLocked() {
  if (loaded_) return std::nullopt;
  loaded_ = true;
  FileRead read = readFileReporting(path_, kMaxFileBytes);
  if (read.error == ENOENT) {  // never made: the first use of this data directory
    uuid_ = makeUUID();
    saveLocked();
    return std::nullopt;
  }
  std::string reason;
  if (read.error == EFBIG) {
    reason = "larger than " + std::to_string(kMaxFileBytes) + " bytes";
  } else if (read.error == ENOTDIR) {
    reason = "the data directory path is not a directory";
  } else if (read.error != 0) {
    reason = std::generic_category().message(read.error);
  } else if (auto stored = readFileText(*read.content, reason)) {
    uuid_ = std::move(stored->uuid);
    limited_ = stored->limited;
    return std::nullopt;
  }
  // It may hold the user's opt-out: honour it as limited, and never write over it.
  unusable_ = true;
  limited_ = true;
  uuid_ = kNoIdentifier;
  return "advertising identifier: cannot use " + path_ + " (" + reason +
         "); tracking stays limited and the file is left as it is";
}

std::optional<AdvertisingIdentifier::Stored> AdvertisingIdentifier::readFileText(std::string_view text,
                                                                                 std::string& reason) {
  auto j = nlohmann::json::parse(text, nullptr, false);
  auto id = j.is_object() ? j.find("identifier") : j.end();
  auto limit = j.is_object() ? j.find("limitTracking") : j.end();
  if (!j.is_object()) {
    reason = "not a JSON object";
  } else if (id == j.end() || !id->is_string() || !isUpperUUID(id->get<std::string>())) {
    reason = "no valid \"identifier\"";
  } else if (limit == j.end() || !limit->is_boolean()) {
    reason = "no valid \"limitTracking\"";
  } else {
    return Stored{id->get<std::string>(), limit->get<bool>()};
  }
  return std::nullopt;
}

std::string AdvertisingIdentifier::fileText(const std::string& uuid, bool limited) {
  nlohmann::json j = {{"identifier", uuid}, {"limitTracking", limited}};
  return j.dump(2) + "\n";
}

template <class F>
auto AdvertisingIdentifier::withLoaded(F&& f) {
  std::unique_lock lock(mu_);
  const std::optional<std::string> warning = loadLocked();
  auto logAfterUnlock = [&] {
    lock.unlock();
    if (warning) logLine(*warning);
  };
  if constexpr (std::is_void_v<decltype(f())>) {
    f();
    logAfterUnlock();
  } else {
    auto result = f();
    logAfterUnlock();
    return result;
  }
}

std::string AdvertisingIdentifier::fileTextLocked() const { return fileText(uuid_, limited_); }

void AdvertisingIdentifier::saveLocked() {
  writeFileAtomically(path_, fileTextLocked());  // a failed write keeps the identifier for this process
}

std::string AdvertisingIdentifier::uuidString() {
  return withLoaded([&] { return uuid_; });
}

bool AdvertisingIdentifier::isAdvertisingTrackingEnabled() {
  return withLoaded([&] { return !limited_; });
}

std::string AdvertisingIdentifier::identifierForTracking() {
  return withLoaded([&] { return limited_ || uuid_ == kNoIdentifier ? std::string() : uuid_; });
}

void AdvertisingIdentifier::setLimitTracking(bool limited) {
  applyLimitTracking(limited);
  writeFile();
}

void AdvertisingIdentifier::applyLimitTracking(bool limited) {
  withLoaded([&] {
    // The user's explicit choice replaces a damaged file, and an identifier of zeros
    // would keep an "unlimited" choice from ever taking effect.
    if (unusable_ || uuid_ == kNoIdentifier) uuid_ = makeUUID();
    unusable_ = false;
    limited_ = limited;
  });
}

void AdvertisingIdentifier::writeFile() {
  std::lock_guard turn(writeMu_);
  std::string text;
  {
    std::lock_guard lock(mu_);
    if (!loaded_ || unusable_) return;  // nothing chosen: a file that is there stays as it is
    text = fileTextLocked();
  }
  writeFileAtomically(path_, text);  // a failed write keeps the state for this process
}

void AdvertisingIdentifier::reset() {
  withLoaded([&] {
    unusable_ = false;
    uuid_ = makeUUID();
  });
  writeFile();
}

}  // namespace qvad
