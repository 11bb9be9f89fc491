// The signed query URL next to a bare OpenSSL SHA-1 of the same signed text: the
// digest is the floor, everything above it is our building and encoding.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "net/endpoints.h"
#include "net/utils.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"

namespace {

qvad::ParameterMap queryParams() {
  // The reward video query: the caller's part, with the device values probed once.
  return {{"deviceId", qvad::Utils::getMyIDFA()},
          {"network", "wifi"},
          {"placementId", "placement-rv-1"},
          {"type", "rewardVideo"}};
}

void BM_GetURL_Query(benchmark::State& state) {
  const auto params = queryParams();
  const std::string base = qvad::queryEndpoint();
  for (auto _ : state) benchmark::DoNotOptimize(qvad::Utils::getURL(base, params));
}
BENCHMARK(BM_GetURL_Query);

void BM_RawSHA1_SignedText(benchmark::State& state) {
  qvad::SigningTrace trace;
  qvad::Utils::getURL(qvad::queryEndpoint(), queryParams(), &trace);
  const std::string text = trace.signedText;
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  for (auto _ : state) {
    EVP_Digest(text.data(), text.size(), out, &n, EVP_sha1(), nullptr);
    benchmark::DoNotOptimize(out);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_RawSHA1_SignedText);

// Device probes, reported apart: the callers read them before building a URL.
void BM_Probe_GetCurrentNetwork(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(qvad::Utils::getCurrentNetwork());
}
BENCHMARK(BM_Probe_GetCurrentNetwork);

void BM_Probe_GetMyIDFA(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(qvad::Utils::getMyIDFA());
}
BENCHMARK(BM_Probe_GetMyIDFA);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto url = times_.find("BM_GetURL_Query");
    auto sha = times_.find("BM_RawSHA1_SignedText");
    if (url != times_.end() && sha != times_.end() && sha->second > 0)
      std::printf("getURL / raw SHA-1 of the same signed text: %.2fx\n", url->second / sha->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // Keep the benchmark's identifier and defaults out of the user's data directory.
  char tmpl[] = "/tmp/qvad-bench-XXXXXX";
  if (mkdtemp(tmpl)) qvad::QvConfiguration::setDataDirectory(tmpl);
  qvad::managerInternal::setCredentials(std::string("bench-app-key"), std::string("bench-app-secret"));
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::string cleanup = std::string("rm -rf ") + tmpl;
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
