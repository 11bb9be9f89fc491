// The user defaults store: a JSON object kept in one file under the data directory,
// written atomically on every change. A registration domain supplies values that
// are answered but never written (the preferred-language list comes from the locale).
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qvad {

class Defaults {
 public:
  /// The store of the configured data directory; a new data directory gives a new store.
  static std::shared_ptr<Defaults> standard();

  /// Opens the store at `path`; a missing file is an empty store. A file that cannot be
  /// read as a JSON object is moved aside to `path` + ".damaged" and the store starts
  /// empty; when it cannot be moved, changes are kept in memory only. standard() writes
  /// the console line that says so (takeLoadWarning()).
  explicit Defaults(std::string path);

  /// The stored value, else the registered one, else nothing.
  std::optional<nlohmann::json> object(const std::string& key) const;
  /// Stores and writes the file; returns false when the file could not be written
  /// (the value is still answered for this process).
  bool set(const std::string& key, nlohmann::json value);
  bool remove(const std::string& key);
  /// Adds to the registration domain (earlier registrations of a key are replaced).
  void registerDefaults(const nlohmann::json& values);
  /// The console line about an unusable file found when the store was opened, once.
  std::optional<std::string> takeLoadWarning();

  const std::string& path() const { return path_; }

  /// "AppleLanguages" as the locale environment gives it: LANGUAGE, else LC_ALL,
  /// LC_MESSAGES, LANG; "en_US.UTF-8" becomes "en-US"; C and POSIX give no language.
  static nlohmann::json preferredLanguagesFromEnvironment();

  /// The values a defaults file's text holds, or nothing with `reason` set: it is not a
  /// JSON object, or nests deeper than kMaxDepth (the writer would recurse that deep).
  static std::optional<nlohmann::json> readStoredText(std::string_view text, std::string& reason);
  /// The file's text for `values`, as it is written.
  static std::string storedText(const nlohmann::json& values);
  static constexpr int kMaxDepth = 64;

 private:
  bool saveLocked() const;

  const std::string path_;
  mutable std::mutex mu_;
  nlohmann::json values_ = nlohmann::json::object();
  bool writable_ = true;
  std::optional<std::string> loadWarning_;  // false while an unusable file could not be moved aside
  nlohmann::json registered_ = nlohmann::json::object();
};

}  // namespace qvad
