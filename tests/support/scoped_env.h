// Sets environment variables for the life of the object and restores them after.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qvad::testing {

class ScopedEnv {
 public:
  /// `values`: name and value to set; a value of nullopt unsets the name.
  explicit ScopedEnv(std::vector<std::pair<std::string, std::optional<std::string>>> values) {
    for (auto& [name, value] : values) {
      const char* old = std::getenv(name.c_str());
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      apply(name, value);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) apply(it->first, it->second);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  /// Only LANG set, to `lang`: the locale variables that outrank it are unset.
  static std::vector<std::pair<std::string, std::optional<std::string>>> locale(const std::string& lang) {
    return {{"LANGUAGE", std::nullopt}, {"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}, {"LANG", lang}};
  }

 private:
  static void apply(const std::string& name, const std::optional<std::string>& value) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace qvad::testing
