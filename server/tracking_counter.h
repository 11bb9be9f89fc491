// Impression and click tracking endpoints of the sandbox: each hit is counted per ad,
// and the counts are readable by tests and the demo.
//
//   GET /track/impl?ad=ID, GET /track/click?ad=ID   204, counted (400 without an id)
//   GET /_sandbox/counts                            {"impl":{"ID":n,..},"click":{..}}
//   POST /_sandbox/counts/reset                     zeroes every count
//   POST /_sandbox/track-fail {"count":N,"status":S,"ad":ID}
//                                                   the next N hits (of ID only, when
//                                                   given) answer S, uncounted; N 0 ends it
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace httplib {
class Server;
}

namespace sandbox {

class TrackingCounter {
 public:
  /// Ad ids longer than this, or new ids past kMaxAds, are refused with 400: a client
  /// cannot grow the table without bound.
  static constexpr std::size_t kMaxIdLength = 64;
  static constexpr std::size_t kMaxAds = 1000;

  void install(httplib::Server& svr);

  /// Records one hit of `kind` ("impl" or "click") for `ad`; the status to answer.
  int hit(const std::string& kind, const std::string& ad);
  nlohmann::json counts() const;
  void reset();
  /// The next `count` hits (of `ad` only, when not empty) answer `status` and are not
  /// counted; a count of 0 ends an earlier rule.
  void failNext(int count, int status, std::string ad = {});

 private:
  mutable std::mutex mu_;
  std::map<std::string, std::map<std::string, int>> counts_;  // kind -> ad -> hits
  int failCount_ = 0;
  int failStatus_ = 0;
  std::string failAd_;
};

}  // namespace sandbox
