// qvadctl sign: the signed request URL, made by the library's own builder with a
// fixed key, secret, nonce and timestamp when given.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "commands.h"
#include "net/endpoints.h"
#include "net/utils.h"
#include "platform/clock.h"
#include "platform/service_slot.h"
#include "qvad/qv_inter_active_ad_manager.h"

namespace qvadctl {

const char* const kSignUsage =
    "usage: qvadctl sign [--key K] [--secret S] [--nonce N] [--timestamp MS] [--base URL]\n"
    "                    [--show-signed] [NAME=VALUE ...]\n"
    "\n"
    "Builds and signs a request URL exactly as the library does, and prints:\n"
    "  signed: <the text that is hashed>     (only with --show-signed; it holds the secret)\n"
    "  signature: <40 hex digits>\n"
    "  url: <the signed URL>\n"
    "\n"
    "  --key K          application key (default: none, so no appKey parameter)\n"
    "  --secret S       application secret (default: none, so no appSecret in the signed text)\n"
    "  --nonce N        six-digit nonce, 100000 to 999999 (default: a fresh one)\n"
    "  --timestamp MS   milliseconds since 1970 (default: now)\n"
    "  --base URL       endpoint URL (default: the init endpoint, $QVAD_API_BASE_URL/api/ig/sdk/init)\n"
    "  --show-signed    also print the signed text\n"
    "  NAME=VALUE       a request parameter; replaces a default parameter of the same name\n"
    "\n"
    "deviceId is this machine's advertising identifier (QVAD_DATA_DIR).\n";

namespace {

int usageError(const char* message, const std::string& arg = {}) {
  std::fprintf(stderr, "qvadctl sign: %s%s%s\n", message, arg.empty() ? "" : ": ", arg.c_str());
  std::fprintf(stderr, "Try 'qvadctl sign --help'.\n");
  return 2;
}

std::optional<std::int64_t> parseInt(const std::string& s) {
  if (s.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return v;
}

}  // namespace

int signCommand(const Args& args) {
  std::optional<std::string> key, secret, base;
  std::optional<std::int64_t> nonce, timestamp;
  bool showSigned = false;
  qvad::ParameterMap params;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* option) -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      (void)option;
      return args[++i];
    };
    if (a == "--key" || a == "--secret" || a == "--nonce" || a == "--timestamp" || a == "--base") {
      auto v = value(a.c_str());
      if (!v) return usageError("missing value for", a);
      if (a == "--key") key = *v;
      if (a == "--secret") secret = *v;
      if (a == "--base") base = *v;
      if (a == "--nonce") {
        nonce = parseInt(*v);
        if (!nonce || *nonce < 100000 || *nonce > 999999) return usageError("the nonce must be six digits, 100000 to 999999", *v);
      }
      if (a == "--timestamp") {
        timestamp = parseInt(*v);
        // Beyond 2^53 ms the clock's double cannot carry every millisecond.
        if (!timestamp || *timestamp < 0 || *timestamp > (std::int64_t{1} << 52))
          return usageError("the timestamp must be milliseconds since 1970", *v);
      }
    } else if (a == "--show-signed") {
      showSigned = true;
    } else if (a.rfind("--", 0) == 0 && a.find('=') == std::string::npos) {
      return usageError("unknown option", a);
    } else {
      auto eq = a.find('=');
      if (eq == std::string::npos || eq == 0) return usageError("a parameter is NAME=VALUE", a);
      params.insert_or_assign(a.substr(0, eq), a.substr(eq + 1));
    }
  }

  // Fix the library's per-request values through its own clock and random source.
  if (nonce) qvad::RandomSource::slot().install(std::make_shared<qvad::FixedRandom>(static_cast<std::uint32_t>(*nonce - 100000)));
  if (timestamp) {
    // Mid-millisecond, so that seconds * 1000 truncates to exactly this millisecond.
    qvad::Clock::slot().install(std::make_shared<qvad::FixedClock>((static_cast<double>(*timestamp) + 0.5) / 1000.0));
    if (qvad::Utils::timestamp() != *timestamp) {
      std::fprintf(stderr, "qvadctl sign: internal error: timestamp %" PRId64 " does not round-trip\n", *timestamp);
      return 1;
    }
  }
  qvad::QvInterActiveAdManager::shared().setCredentials(key, secret);

  qvad::SigningTrace trace;
  std::string url = qvad::Utils::getURL(base.value_or(qvad::initEndpoint()), params, &trace);
  if (showSigned) std::printf("signed: %s\n", trace.signedText.c_str());
  std::printf("signature: %s\n", trace.signature.c_str());
  std::printf("url: %s\n", url.c_str());
  return 0;
}

}  // namespace qvadctl
