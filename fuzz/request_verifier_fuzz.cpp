#include <string>

#include "fuzz_targets.h"
#include "net/text_utils.h"
#include "net/utils.h"
#include "request_verifier.h"

namespace qvad::fuzz {
namespace {

constexpr std::int64_t kNowMs = 1'760'000'000'000;
const char* const kAppKey = "fuzz-app";
const char* const kSecret = "fuzz-secret";

}  // namespace

void requestVerifier(const std::uint8_t* data, std::size_t size) {
  const std::string target(reinterpret_cast<const char*>(data), size);
  sandbox::RequestVerifier verifier({{kAppKey, kSecret}}, 300);
  auto params = sandbox::queryParams(target);
  const sandbox::Verdict first = verifier.verify(params, kNowMs);
  // Only a request signed with the app's secret passes; whatever was sent, a pass is
  // never given twice.
  if (first.code == sandbox::kOk) {
    if (params.at("appKey") != kAppKey) __builtin_trap();
    if (verifier.verify(params, kNowMs).code != sandbox::kReplayed) __builtin_trap();
  }

  // The same parameters from the app, signed by the library's rules at the present time,
  // pass once and are then a replay.
  params["appKey"] = kAppKey;
  params["timestamp"] = std::to_string(kNowMs);
  for (const char* name : {"nonce", "deviceId"}) params.try_emplace(name, "1");
  params.erase("signature");
  params["signature"] = sha1(Utils::signingText(params, kSecret));
  sandbox::RequestVerifier fresh({{kAppKey, kSecret}}, 300);
  if (fresh.verify(params, kNowMs).code != sandbox::kOk) __builtin_trap();
  if (fresh.verify(params, kNowMs).code != sandbox::kReplayed) __builtin_trap();
  // One changed byte of the signature fails it.
  params["signature"][0] = params["signature"][0] == '0' ? '1' : '0';
  if (fresh.verify(params, kNowMs).code != sandbox::kBadSignature) __builtin_trap();
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::requestVerifier)
