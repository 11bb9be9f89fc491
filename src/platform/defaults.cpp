#include "platform/defaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/data_directory_store.h"
#include "platform/file_util.h"
#include "platform/log.h"
#include "platform/text_encoding.h"

namespace qvad {
namespace {

std::string localeToLanguageTag(std::string s) {
  auto cut = s.find_first_of(".@");
  if (cut != std::string::npos) s.resize(cut);
  if (s.empty() || s == "C" || s == "POSIX") return {};
  for (auto& c : s) {
    if (c == '_') c = '-';
  }
  return s;
}

}  // namespace

nlohmann::json Defaults::preferredLanguagesFromEnvironment() {
  auto list = nlohmann::json::array();
  auto add = [&](const std::string& raw) {
    std::string tag = makeValidUTF8(localeToLanguageTag(raw));  // a locale name is bytes, a language is text
    if (!tag.empty() && std::find(list.begin(), list.end(), tag) == list.end()) list.push_back(tag);
  };
  // LANGUAGE only counts when a real locale is set, as gettext does.
  const char* language = std::getenv("LANGUAGE");
  std::string primary;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) {
      primary = v;
      break;
    }
  }
  if (language && *language && !localeToLanguageTag(primary).empty()) {
    std::string all = language;
    std::size_t start = 0;
    while (start <= all.size()) {
      auto end = all.find(':', start);
      add(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  add(primary);
  return list;
}

std::shared_ptr<Defaults> Defaults::standard() {
  auto store = dataDirectoryStore<Defaults>("defaults.json", [](Defaults& made) {
    auto languages = preferredLanguagesFromEnvironment();
    if (!languages.empty()) made.registerDefaults({{"AppleLanguages", languages}});
  });
  // Outside the store's lock: a host's log sink may itself read the defaults.
  if (auto warning = store->takeLoadWarning()) logLine(*warning);
  return store;
}

std::optional<std::string> Defaults::takeLoadWarning() {
  std::lock_guard lock(mu_);
  return std::exchange(loadWarning_, std::nullopt);
}

Defaults::Defaults(std::string path) : path_(std::move(path)) {
  FileRead read = readFileReporting(path_);
  if (read.error == ENOENT) return;  // nothing stored yet
  std::string reason;
  if (read.content) {
    if (auto parsed = readStoredText(*read.content, reason)) {
      values_ = std::move(*parsed);
      return;
    }
  } else {
    reason = std::strerror(read.error);
  }
  // A file that exists but cannot be used is never overwritten by the next change: it
  // moves aside for whoever wants to look at it, or, when it cannot, nothing is written.
  const std::string aside = path_ + ".damaged";
  if (std::rename(path_.c_str(), aside.c_str()) == 0) {
    loadWarning_ = "Defaults: " + path_ + " unusable (" + reason + "), moved to " + aside;
  } else {
    writable_ = false;
    loadWarning_ = "Defaults: " + path_ + " unusable (" + reason + ") and cannot be moved aside; changes stay in memory";
  }
}

std::optional<nlohmann::json> Defaults::object(const std::string& key) const {
  std::lock_guard lock(mu_);
  if (auto it = values_.find(key); it != values_.end()) return *it;
  if (auto it = registered_.find(key); it != registered_.end()) return *it;
  return std::nullopt;
}

bool Defaults::set(const std::string& key, nlohmann::json value) {
  std::lock_guard lock(mu_);
  values_[key] = std::move(value);
  return saveLocked();
}

bool Defaults::remove(const std::string& key) {
  std::lock_guard lock(mu_);
  values_.erase(key);
  return saveLocked();
}

void Defaults::registerDefaults(const nlohmann::json& values) {
  if (!values.is_object()) return;
  std::lock_guard lock(mu_);
  for (auto it = values.begin(); it != values.end(); ++it) registered_[it.key()] = it.value();
}

bool Defaults::saveLocked() const {
  if (!writable_) return false;
  return writeFileAtomically(path_, storedText(values_));
}

std::string Defaults::storedText(const nlohmann::json& values) {
  // Replace invalid UTF-8 rather than throw: a stored value must never lose the others.
  std::string text = values.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  text.push_back('\n');
  return text;
}

std::optional<nlohmann::json> Defaults::readStoredText(std::string_view text, std::string& reason) {
  // The parser keeps its own stack, but the writer and comparisons recurse: a file of
  // a few kilobytes of brackets would overflow the stack on the next change.
  bool tooDeep = false;
  auto depthCheck = [&tooDeep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
    if (depth > kMaxDepth) tooDeep = true;
    return !tooDeep;
  };
  auto parsed = nlohmann::json::parse(text, depthCheck, /*allow_exceptions=*/false);
  if (tooDeep) {
    reason = "nested deeper than " + std::to_string(kMaxDepth);
    return std::nullopt;
  }
  if (!parsed.is_object()) {
    reason = "not a JSON object";
    return std::nullopt;
  }
  return parsed;
}

}  // namespace qvad
