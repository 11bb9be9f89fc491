// The result type of replies whose payload is not read (the init request).
#pragma once

#include <optional>

#include <nlohmann/json.hpp>

namespace qvad {

struct EmptyResult {
  /// Creation from a JSON object always succeeds.
  static std::optional<EmptyResult> create(const nlohmann::json&) { return EmptyResult{}; }
  void mapping(const nlohmann::json&) {}
};

}  // namespace qvad
