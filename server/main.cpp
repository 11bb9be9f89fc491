// qvad-sandbox: the reference ad platform server on loopback over HTTPS. It answers
// the init and query endpoints with the reply envelope, checks every signature with
// the library's own rules, logs each request to <state>/requests.jsonl, and can be
// told to misbehave through POST /_sandbox/next (the API, or an asset named by path).
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "ad_pages.h"
#include "certificates.h"
#include "floating_assets.h"
#include "net/text_utils.h"
#include "platform/file_util.h"
#include "request_verifier.h"
#include "sandbox_config.h"
#include "tracking_counter.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

const char* const kUsage =
    "usage: qvad-sandbox [--port N] [--config FILE] [--state DIR] [--cert-name NAME]\n"
    "\n"
    "The reference ad platform server, HTTPS on 127.0.0.1. When ready it prints\n"
    "  listening https://127.0.0.1:<port> ca=<CA file to trust>\n"
    "\n"
    "  --port N       port to listen on; 0 (the default) picks a free one\n"
    "  --config FILE  apps, ads and placements as JSON (default: built in, app demo-app)\n"
    "  --state DIR    CA, server certificate and requests.jsonl (default: ./qvad-sandbox-state)\n"
    "  --cert-name NAME  the only name the server certificate is for (default: 127.0.0.1\n"
    "                 and localhost); another name makes clients see a wrong host\n"
    "\n"
    "Stops on SIGINT or SIGTERM.\n";

std::int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Percent escapes decoded where they are well-formed, the rest kept: how a client might
// have spelled a secret, for the redaction check only.
std::string looselyDecoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out.push_back(static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(s[i] == '+' ? ' ' : s[i]);
    }
  }
  return out;
}

// httplib reads a POST body that is not announced (no Content-Length, not chunked)
// until the connection closes, its 5 s read time-out; such a request has no body, so
// a body is read only when announced.
constexpr std::size_t kMaxRequestBody = 32u << 20;  // control requests carry whole test replies

std::optional<std::string> announcedBody(const httplib::Request& req, const httplib::ContentReader& reader) {
  std::string body;
  const bool chunked = req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
  if (!req.has_header("Content-Length") && !chunked) return body;
  const bool ok = reader([&](const char* data, std::size_t n) {
    body.append(data, n);
    return body.size() <= kMaxRequestBody;
  });
  if (!ok) return std::nullopt;
  return body;
}

// One misbehaviour, applied to the next `count` matching requests.
struct Rule {
  int count = 1;
  std::string appKey;  // empty: any app
  std::string path;    // empty: both API endpoints; an asset's path (/assets/...) for that asset
  int delayMs = 0;
  int status = 0;  // 0: 200
  std::optional<std::string> body;
  std::string contentType = "application/json";
  bool drop = false;
  int dripChunks = 0;  // > 1: the body goes out in this many pieces...
  int dripMs = 0;      // ...with this pause before each piece after the first
  int cutAfter = -1;   // >= 0: the whole length is announced, this many bytes sent, then the connection ends

  json describe() const {
    json d = json::object();
    if (delayMs) d["delayMs"] = delayMs;
    if (status) d["status"] = status;
    if (body) d["bodyBytes"] = body->size();
    if (drop) d["drop"] = true;
    if (cutAfter >= 0) d["cutAfter"] = cutAfter;
    if (dripChunks > 1) {
      d["dripChunks"] = dripChunks;
      d["dripMs"] = dripMs;
    }
    return d;
  }
};

std::optional<std::string> hexDecoded(const std::string& hex) {
  if (hex.size() % 2) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return out;
}

std::optional<Rule> parseRule(const std::string& text, std::string& error) {
  json j = json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    error = "expected a JSON object";
    return std::nullopt;
  }
  Rule r;
  auto intField = [&](const char* key, int& out, int lo, int hi) {
    auto it = j.find(key);
    if (it == j.end()) return true;
    if (!it->is_number_integer() || it->get<long long>() < lo || it->get<long long>() > hi) {
      error = std::string("\"") + key + "\" must be an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
      return false;
    }
    out = it->get<int>();
    return true;
  };
  auto strField = [&](const char* key, std::string& out) {
    auto it = j.find(key);
    if (it == j.end()) return true;
    if (!it->is_string()) {
      error = std::string("\"") + key + "\" must be a string";
      return false;
    }
    out = it->get<std::string>();
    return true;
  };
  if (!intField("count", r.count, 1, 1000000) || !intField("delayMs", r.delayMs, 0, 600000) ||
      !intField("dripChunks", r.dripChunks, 1, 10000) || !intField("dripMs", r.dripMs, 0, 600000) ||
      !intField("cutAfter", r.cutAfter, 0, 1 << 30) ||
      !intField("status", r.status, 100, 599) || !strField("appKey", r.appKey) || !strField("path", r.path) ||
      !strField("contentType", r.contentType))
    return std::nullopt;
  if (auto it = j.find("body"); it != j.end()) {
    if (!it->is_string()) {
      error = "\"body\" must be a string";
      return std::nullopt;
    }
    r.body = it->get<std::string>();
  }
  if (auto it = j.find("bodyHex"); it != j.end()) {
    // Binary bodies (GIF files) travel as hex: JSON strings hold only UTF-8.
    auto bytes = it->is_string() ? hexDecoded(it->get<std::string>()) : std::nullopt;
    if (!bytes || r.body) {
      error = "\"bodyHex\" must be a string of hex digit pairs, and not given with \"body\"";
      return std::nullopt;
    }
    r.body = std::move(*bytes);
  }
  if (auto it = j.find("drop"); it != j.end()) {
    if (!it->is_boolean()) {
      error = "\"drop\" must be true or false";
      return std::nullopt;
    }
    r.drop = it->get<bool>();
  }
  return r;
}

class Sandbox {
 public:
  Sandbox(sandbox::Config config, const std::string& stateDir)
      : config_(std::move(config)), verifier_(config_.apps, config_.timestampWindowSeconds),
        log_(stateDir + "/requests.jsonl", std::ios::app) {}

  bool logOpen() const { return log_.good(); }

  void install(httplib::Server& svr) {
    svr.set_payload_max_length(kMaxRequestBody);
    for (const char* path : {"/api/ig/sdk/init", "/api/ig/sdk/query"}) {
      // The API reads its parameters from the query; a body is read past, not used.
      svr.Post(path, [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
        if (!announcedBody(req, reader)) {
          res.status = 413;
          return;
        }
        handleAPI(req, res);
      });
      svr.Get(path, [this](const httplib::Request& req, httplib::Response& res) { handleAPI(req, res); });
    }
    svr.Post("/_sandbox/next", [this](const httplib::Request& req, httplib::Response& res,
                                      const httplib::ContentReader& reader) {
      std::string error;
      auto body = announcedBody(req, reader);
      if (!body) {
        res.status = 413;
        return;
      }
      auto rule = parseRule(*body, error);
      if (!rule) {
        res.status = 400;
        res.set_content(json{{"code", 400}, {"msg", error}}.dump(), "application/json");
        return;
      }
      std::lock_guard lock(mu_);
      rules_.push_back(std::move(*rule));
      res.set_content(json{{"code", 0}, {"msg", ""}, {"queued", rules_.size()}}.dump(), "application/json");
    });
    svr.Post("/_sandbox/reset", [this](const httplib::Request& req, httplib::Response& res,
                                       const httplib::ContentReader& reader) {
      announcedBody(req, reader);
      std::lock_guard lock(mu_);
      rules_.clear();
      res.set_content(R"({"code":0,"msg":""})", "application/json");
    });
  }

  /// Applies a rule queued for this asset path, if there is one: true when it answered.
  bool assetFault(const httplib::Request& req, httplib::Response& res, const std::string& body, const std::string& type) {
    std::optional<Rule> rule = takeRule(req.path, {}, /*api=*/false);
    if (!rule) return false;
    writeLog({{"time", nowMs()}, {"method", req.method}, {"path", req.path}, {"forced", rule->describe()}});
    respond(*rule, body, type, res);
    return true;
  }

  void stop() {
    {
      std::lock_guard lock(mu_);
      stopping_ = true;
    }
    cv_.notify_all();
  }

 private:
  // A rule without a path is for the API only; assets are named.
  std::optional<Rule> takeRule(const std::string& path, const std::string& appKey, bool api = true) {
    std::lock_guard lock(mu_);
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
      if (it->path.empty() ? !api : it->path != path) continue;
      if (!it->appKey.empty() && it->appKey != appKey) continue;
      Rule r = *it;
      if (--it->count == 0) rules_.erase(it);
      return r;
    }
    return std::nullopt;
  }

  bool holdsSecret(const std::string& text) const {
    const std::string decoded = looselyDecoded(text);
    for (const auto& [key, s] : config_.apps) {
      if (!s.empty() && (text.find(s) != std::string::npos || decoded.find(s) != std::string::npos)) return true;
    }
    return false;
  }

  // Never writes a secret: the value of a parameter named appSecret, and any name or
  // value holding a known secret (a client bug), raw or percent-encoded, are redacted
  // before the line is written.
  json loggedParams(const std::map<std::string, std::string>& params) const {
    json out = json::object();
    for (const auto& [k, v] : params) {
      const std::string name = holdsSecret(k) ? "[redacted]" : k;
      out[name] = k == "appSecret" || holdsSecret(v) ? "[redacted]" : v;
    }
    return out;
  }

  // Waits `ms` unless the server is stopping; false when it is.
  bool pause(int ms) {
    std::unique_lock lock(mu_);
    return !cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
  }

  void writeLog(const json& line) {
    std::lock_guard lock(logMu_);
    log_ << line.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
    log_.flush();
  }

  void handleAPI(const httplib::Request& req, httplib::Response& res) {
    const auto params = sandbox::queryParams(req.target);
    sandbox::Verdict verdict = verifier_.verify(params, nowMs());
    json reply = {{"code", verdict.code}, {"msg", verdict.code == 0 ? "" : verdict.msg}};
    if (verdict.code == 0 && req.path == "/api/ig/sdk/query") {
      auto get = [&](const char* k) {
        auto it = params.find(k);
        return it == params.end() ? std::string() : it->second;
      };
      if (const sandbox::Ad* ad = config_.adFor(get("type"), get("placementId"))) {
        if (ad->imageUrl) reply["image"] = *ad->imageUrl;
        if (ad->landingUrl) reply["landing"] = *ad->landingUrl;
        if (ad->reportImplUrl) reply["impl"] = *ad->reportImplUrl;
        if (ad->reportClickUrl) reply["click"] = *ad->reportClickUrl;
      } else {
        verdict = {sandbox::kNoAd, "no ad for this placement"};
        reply = {{"code", verdict.code}, {"msg", verdict.msg}};
      }
    }
    auto key = params.find("appKey");
    std::optional<Rule> rule = takeRule(req.path, key == params.end() ? std::string() : key->second);

    json line = {{"time", nowMs()},       {"method", req.method}, {"path", req.path},
                 {"params", loggedParams(params)}, {"code", verdict.code}, {"verdict", verdict.msg}};
    if (rule) line["forced"] = rule->describe();
    writeLog(line);

    if (!rule) {
      res.set_content(reply.dump(), "application/json");
      return;
    }
    respond(*rule, reply.dump(), "application/json", res);
  }

  // What a rule makes of a reply whose normal body is `body` of `type`.
  void respond(const Rule& rule, std::string body, std::string type, httplib::Response& res) {
    if (rule.delayMs > 0) pause(rule.delayMs);
    if (rule.drop) {
      // Promise a body, then end the connection before any of it.
      res.set_content_provider(
          64, "application/json", [](size_t, size_t, httplib::DataSink&) { return false; });
      return;
    }
    res.status = rule.status ? rule.status : 200;
    if (rule.body) {
      body = *rule.body;
      type = rule.contentType;
    }
    if (rule.cutAfter >= 0 && static_cast<std::size_t>(rule.cutAfter) < body.size()) {
      // The whole length is announced; the connection ends after the first bytes.
      auto content = std::make_shared<std::string>(std::move(body));
      const std::size_t cut = static_cast<std::size_t>(rule.cutAfter);
      res.set_content_provider(content->size(), type,
                               [content, cut](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset >= cut) return false;
                                 return sink.write(content->data() + offset, cut - offset);
                               });
      return;
    }
    if (rule.dripChunks > 1 && body.size() > 1) {
      // Chunked, so no length is announced, in pieces with pauses between them: a slow
      // but live reply (or a stalled one, with a long pause).
      auto content = std::make_shared<std::string>(std::move(body));
      const std::size_t pieces = std::min<std::size_t>(static_cast<std::size_t>(rule.dripChunks), content->size());
      const std::size_t piece = (content->size() + pieces - 1) / pieces;
      const int ms = rule.dripMs;
      res.set_chunked_content_provider(type, [this, content, piece, ms](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= content->size()) {
          sink.done();
          return true;
        }
        if (offset > 0 && !pause(ms)) return false;
        return sink.write(content->data() + offset, std::min(piece, content->size() - offset));
      });
      return;
    }
    res.set_content(body, type);
  }

  const sandbox::Config config_;
  sandbox::RequestVerifier verifier_;
  std::mutex logMu_;
  std::ofstream log_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Rule> rules_;  // guarded by mu_
  bool stopping_ = false;   // guarded by mu_
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "qvad-sandbox: %s\nTry 'qvad-sandbox --help'.\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::string configPath;
  std::string stateDir = "qvad-sandbox-state";
  std::string certName;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a != "--port" && a != "--config" && a != "--state" && a != "--cert-name")
      return usageError("unknown option: " + a);
    if (i + 1 >= argc) return usageError("missing value for " + a);
    std::string v = argv[++i];
    if (a == "--port") {
      char* end = nullptr;
      long p = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || p < 0 || p > 65535) return usageError("the port must be 0 to 65535: " + v);
      port = static_cast<int>(p);
    } else if (a == "--config") {
      configPath = v;
    } else if (a == "--cert-name") {
      if (v.empty() || v.find_first_of(",:") != std::string::npos) return usageError("not a host name: " + v);
      certName = v;
    } else {
      stateDir = v;
    }
  }

  std::string configText = sandbox::defaultConfigJSON();
  if (!configPath.empty()) {
    auto text = qvad::readFile(configPath, 1u << 20);
    if (!text) return usageError("cannot read " + configPath + " (missing, unreadable or over 1 MiB)");
    configText = std::move(*text);
  }

  std::error_code ec;
  fs::create_directories(stateDir, ec);
  if (ec) {
    std::fprintf(stderr, "qvad-sandbox: cannot make %s: %s\n", stateDir.c_str(), ec.message().c_str());
    return 1;
  }
  std::string error;
  sandbox::CertificatePaths certs = sandbox::ensureCertificates(stateDir, error, certName);
  if (!error.empty()) {
    std::fprintf(stderr, "qvad-sandbox: %s\n", error.c_str());
    return 1;
  }

  // Signals are taken by one thread with sigwait, so stopping never runs in a handler.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  httplib::SSLServer svr(certs.serverCert.c_str(), certs.serverKey.c_str());
  if (!svr.is_valid()) {
    std::fprintf(stderr, "qvad-sandbox: cannot load the server certificate from %s\n", stateDir.c_str());
    return 1;
  }
  // Replies leave at once: with Nagle's algorithm a reply's last segment waits for the
  // client's delayed ACK on a kept-alive connection, some 40 ms a request.
  svr.set_tcp_nodelay(true);
  const int bound = port == 0 ? svr.bind_to_any_port("127.0.0.1") : (svr.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    std::fprintf(stderr, "qvad-sandbox: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  const std::string base = "https://127.0.0.1:" + std::to_string(bound);
  sandbox::Config config = sandbox::parseConfig(configText, base, error);
  if (!error.empty()) {
    std::fprintf(stderr, "qvad-sandbox: %s: %s\n", configPath.empty() ? "built-in configuration" : configPath.c_str(),
                 error.c_str());
    return 1;
  }
  Sandbox sandbox(std::move(config), stateDir);
  if (!sandbox.logOpen()) {
    std::fprintf(stderr, "qvad-sandbox: cannot write %s/requests.jsonl\n", stateDir.c_str());
    return 1;
  }
  // httplib gives each connection a worker for as long as it is kept alive (up to its
  // keep-alive time-out): with its default 8 workers a client holding more connections
  // than that waits seconds for one, and meets connections closed under it. Tests open
  // a few tens at once.
  svr.new_task_queue = [] { return new httplib::ThreadPool(64); };
  sandbox.install(svr);
  sandbox::installAdPages(svr);
  sandbox::installFloatingAssets(svr, [&sandbox](const httplib::Request& req, httplib::Response& res,
                                                const std::string& body, const std::string& type) {
    return sandbox.assetFault(req, res, body, type);
  });
  sandbox::TrackingCounter tracking;
  tracking.install(svr);

  std::thread signalThread([&] {
    int sig = 0;
    sigwait(&stopSignals, &sig);
    sandbox.stop();
    svr.stop();
  });

  std::printf("listening %s ca=%s\n", base.c_str(), fs::absolute(certs.caCert).c_str());
  std::fflush(stdout);
  const bool ok = svr.listen_after_bind();
  sandbox.stop();
  kill(getpid(), SIGTERM);  // releases the signal thread if the server stopped on its own
  signalThread.join();
  return ok ? 0 : 1;
}
