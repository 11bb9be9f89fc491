// What the sandbox knows: apps (key and secret), ads and placements.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sandbox {

struct Ad {
  std::string id;
  std::optional<std::string> imageUrl, landingUrl, reportImplUrl, reportClickUrl;
};

struct Placement {
  std::string id;
  std::string type;  // "floating", "rewardVideo" or "interstitial"
  std::string ad;    // id of an Ad
};

struct Config {
  std::map<std::string, std::string> apps;  // key -> secret
  std::vector<Ad> ads;
  std::vector<Placement> placements;
  int timestampWindowSeconds = 300;

  /// The ad for a query: with a type, the placement of that type and id (any of that
  /// type when the id is empty); without one, the first "floating" placement.
  const Ad* adFor(const std::string& type, const std::string& placementId) const;
};

/// The built-in configuration: app "demo-app" with secret "demo-secret", one ad per format.
const char* defaultConfigJSON();

/// Parses a configuration; "{base}" in ad URLs becomes `baseURL`. Empty `error` on success.
Config parseConfig(const std::string& text, const std::string& baseURL, std::string& error);

}  // namespace sandbox
