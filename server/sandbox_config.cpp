#include "sandbox_config.h"

#include <nlohmann/json.hpp>

namespace sandbox {
namespace {

std::optional<std::string> urlField(const nlohmann::json& ad, const char* key, const std::string& base) {
  auto it = ad.find(key);
  if (it == ad.end() || !it->is_string()) return std::nullopt;
  std::string s = it->get<std::string>();
  for (auto pos = s.find("{base}"); pos != std::string::npos; pos = s.find("{base}", pos + base.size()))
    s.replace(pos, 6, base);
  return s;
}

}  // namespace

const Ad* Config::adFor(const std::string& type, const std::string& placementId) const {
  const std::string wanted = type.empty() ? "floating" : type;
  for (const auto& p : placements) {
    if (p.type != wanted) continue;
    if (!type.empty() && !placementId.empty() && p.id != placementId) continue;
    for (const auto& ad : ads) {
      if (ad.id == p.ad) return &ad;
    }
  }
  return nullptr;
}

const char* defaultConfigJSON() {
  return R"({
  "apps": [ { "key": "demo-app", "secret": "demo-secret" } ],
  "ads": [
    { "id": "badge", "imageUrl": "{base}/assets/badge.gif", "landingUrl": "{base}/landing/badge",
      "reportImplUrl": "{base}/track/impl?ad=badge", "reportClickUrl": "{base}/track/click?ad=badge" },
    { "id": "reward", "landingUrl": "{base}/pages/reward.html" },
    { "id": "interstitial", "landingUrl": "{base}/pages/interstitial.html" }
  ],
  "placements": [
    { "id": "floating-1", "type": "floating", "ad": "badge" },
    { "id": "reward-1", "type": "rewardVideo", "ad": "reward" },
    { "id": "interstitial-1", "type": "interstitial", "ad": "interstitial" }
  ],
  "timestampWindowSeconds": 300
})";
}

Config parseConfig(const std::string& text, const std::string& baseURL, std::string& error) {
  Config config;
  error.clear();
  nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    error = "the configuration is not a JSON object";
    return config;
  }
  auto strField = [](const nlohmann::json& o, const char* key) -> std::optional<std::string> {
    auto it = o.find(key);
    if (it == o.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
  };
  for (const auto& app : j.value("apps", nlohmann::json::array())) {
    auto key = app.is_object() ? strField(app, "key") : std::nullopt;
    auto secret = app.is_object() ? strField(app, "secret") : std::nullopt;
    if (!key || !secret) {
      error = "every app needs a string \"key\" and \"secret\"";
      return config;
    }
    config.apps[*key] = *secret;
  }
  for (const auto& a : j.value("ads", nlohmann::json::array())) {
    auto id = a.is_object() ? strField(a, "id") : std::nullopt;
    if (!id) {
      error = "every ad needs a string \"id\"";
      return config;
    }
    config.ads.push_back({*id, urlField(a, "imageUrl", baseURL), urlField(a, "landingUrl", baseURL),
                          urlField(a, "reportImplUrl", baseURL), urlField(a, "reportClickUrl", baseURL)});
  }
  for (const auto& p : j.value("placements", nlohmann::json::array())) {
    auto id = p.is_object() ? strField(p, "id") : std::nullopt;
    auto type = p.is_object() ? strField(p, "type") : std::nullopt;
    auto ad = p.is_object() ? strField(p, "ad") : std::nullopt;
    if (!id || !type || !ad) {
      error = "every placement needs string \"id\", \"type\" and \"ad\"";
      return config;
    }
    config.placements.push_back({*id, *type, *ad});
  }
  if (auto it = j.find("timestampWindowSeconds"); it != j.end()) {
    if (!it->is_number_integer() || it->get<long long>() < 1 || it->get<long long>() > 86400) {
      error = "\"timestampWindowSeconds\" must be an integer from 1 to 86400";
      return config;
    }
    config.timestampWindowSeconds = it->get<int>();
  }
  return config;
}

}  // namespace sandbox
