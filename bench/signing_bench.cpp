// Two rows of the request layer, each next to its floor in the same run:
// - sign: the whole signed query URL of a reward video query (device values probed
//   once, as callers do) next to a bare OpenSSL SHA-1 of the same signed text;
// - reply: the reply envelope and AdModel mapping of a typical query reply next to
//   nlohmann::json::parse of the same body alone.
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bench_rows.h"
#include "net/ad_model.h"
#include "net/endpoints.h"
#include "net/request_manager.h"
#include "net/utils.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"

namespace {

using namespace qvad::bench;

volatile std::size_t sink;

qvad::ParameterMap queryParams() {
  return {{"deviceId", qvad::Utils::getMyIDFA()},
          {"network", "wifi"},
          {"placementId", "placement-rv-1"},
          {"type", "rewardVideo"}};
}

void signRow(int rounds) {
  const auto params = queryParams();
  const std::string base = qvad::queryEndpoint();
  qvad::SigningTrace trace;
  qvad::Utils::getURL(base, params, &trace);
  const std::string text = trace.signedText;
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  Pair p = interleaved([&] { sink = qvad::Utils::getURL(base, params).size(); },
                       [&] {
                         EVP_Digest(text.data(), text.size(), out, &n, EVP_sha1(), nullptr);
                         sink = out[0];
                       },
                       rounds);
  Row r{"sign", p.ours / 1000, p.peer / 1000, "us", p.ours / p.peer, "ratio <= 3", p.ours / p.peer <= 3};
  r.detail = {{"signedTextBytes", text.size()}, {"rounds", rounds}};
  emit(r);
}

void replyRow(int rounds) {
  // What the sandbox answers a floating ad query with.
  const std::string body =
      R"({"code":0,"msg":"","image":"https://127.0.0.1:8443/assets/badge.gif",)"
      R"("landing":"https://127.0.0.1:8443/landing/badge?ad=badge&campaign=spring-2024",)"
      R"("impl":"https://127.0.0.1:8443/track/impl?ad=badge&slot=floating-1",)"
      R"("click":"https://127.0.0.1:8443/track/click?ad=badge&slot=floating-1"})";
  const qvad::HttpResponse response{body, 200, std::nullopt};
  if (qvad::readReply<qvad::AdModel>(response, {}).kind != qvad::ReplyOutcome<qvad::AdModel>::Kind::success) {
    std::fprintf(stderr, "signing_bench: the reply does not map\n");
    std::exit(1);
  }
  Pair p = interleaved([&] { sink = qvad::readReply<qvad::AdModel>(response, {}).value->imageUrl->size(); },
                       [&] { sink = nlohmann::json::parse(body).size(); }, rounds);
  Row r{"reply", p.ours / 1000, p.peer / 1000, "us", p.ours / p.peer, "ratio <= 1.5", p.ours / p.peer <= 1.5};
  r.detail = {{"bodyBytes", body.size()}, {"rounds", rounds}};
  emit(r);
}

}  // namespace

int main(int argc, char** argv) {
  // Keep the benchmark's identifier and defaults out of the user's data directory.
  char tmpl[] = "/tmp/qvad-bench-XXXXXX";
  if (mkdtemp(tmpl)) qvad::QvConfiguration::setDataDirectory(tmpl);
  qvad::QvConfiguration::setLogSink([](std::string_view) {});
  qvad::managerInternal::setCredentials(std::string("bench-app-key"), std::string("bench-app-secret"));
  const int rounds = roundsArg(argc, argv, 9);
  signRow(rounds);
  replyRow(rounds);
  std::string cleanup = std::string("rm -rf ") + tmpl;
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
