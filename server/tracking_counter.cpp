#include "tracking_counter.h"

#include <httplib.h>

namespace sandbox {

int TrackingCounter::hit(const std::string& kind, const std::string& ad) {
  std::lock_guard lock(mu_);
  if (failCount_ > 0 && (failAd_.empty() || failAd_ == ad)) {
    --failCount_;
    return failStatus_;
  }
  if (ad.empty() || ad.size() > kMaxIdLength) return 400;
  auto& perAd = counts_[kind];
  if (!perAd.count(ad) && perAd.size() >= kMaxAds) return 400;
  ++perAd[ad];
  return 204;
}

nlohmann::json TrackingCounter::counts() const {
  std::lock_guard lock(mu_);
  nlohmann::json out = {{"impl", nlohmann::json::object()}, {"click", nlohmann::json::object()}};
  for (const auto& [kind, perAd] : counts_) {
    for (const auto& [ad, n] : perAd) out[kind][ad] = n;
  }
  return out;
}

void TrackingCounter::reset() {
  std::lock_guard lock(mu_);
  counts_.clear();
  failCount_ = 0;
}

void TrackingCounter::failNext(int count, int status, std::string ad) {
  std::lock_guard lock(mu_);
  failCount_ = count;
  failStatus_ = status;
  failAd_ = std::move(ad);
}

void TrackingCounter::install(httplib::Server& svr) {
  for (const char* kind : {"impl", "click"}) {
    svr.Get(std::string("/track/") + kind, [this, kind](const httplib::Request& req, httplib::Response& res) {
      res.status = hit(kind, req.get_param_value("ad"));
      // A tracking hit is one request: free the server's thread for the next client
      // rather than hold it for a keep-alive that never comes.
      res.set_header("Connection", "close");
      if (res.status == 400) res.set_content("{\"error\":\"missing, long or too many ad ids\"}", "application/json");
    });
  }
  svr.Get("/_sandbox/counts", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(counts().dump(), "application/json");
  });
  svr.Post("/_sandbox/counts/reset", [this](const httplib::Request&, httplib::Response& res) {
    reset();
    res.set_content(R"({"code":0,"msg":""})", "application/json");
  });
  svr.Post("/_sandbox/track-fail", [this](const httplib::Request& req, httplib::Response& res) {
    auto j = nlohmann::json::parse(req.body, nullptr, false);
    auto intIn = [&](const char* key, int lo, int hi, int fallback) -> std::optional<int> {
      if (!j.is_object() || !j.contains(key)) return fallback;
      const auto& v = j[key];
      if (!v.is_number_integer() || v.get<long long>() < lo || v.get<long long>() > hi) return std::nullopt;
      return v.get<int>();
    };
    auto count = intIn("count", 0, 1000000, 1);
    auto status = intIn("status", 100, 599, 500);
    const bool adOk = !j.is_object() || !j.contains("ad") ||
                      (j["ad"].is_string() && j["ad"].get<std::string>().size() <= kMaxIdLength);
    if (!j.is_object() || !count || !status || !adOk) {
      res.status = 400;
      res.set_content(R"({"code":400,"msg":"expected {\"count\":0..1000000,\"status\":100..599,\"ad\":\"id\"}"})",
                      "application/json");
      return;
    }
    failNext(*count, *status, j.value("ad", std::string()));
    res.set_content(R"({"code":0,"msg":""})", "application/json");
  });
}

}  // namespace sandbox
