#include <string>

#include "fuzz_targets.h"
#include "net/ad_model.h"
#include "net/empty_result.h"
#include "net/request_manager.h"
#include "qvad/configuration.h"

namespace qvad::fuzz {

void replyBody(const std::uint8_t* data, std::size_t size) {
  QvConfiguration::setLogSink([](std::string_view) {});  // the console line is not under test
  HttpResponse response;
  response.statusCode = 200;
  response.body = std::string(reinterpret_cast<const char*>(data), size);
  auto empty = readReply<EmptyResult>(response, {});
  auto ad = readReply<AdModel>(response, {"data", "ad"});
  auto top = readReply<AdModel>(response, {});
  // The envelope alone decides between success and failure, whatever the result type.
  if (static_cast<int>(empty.kind) != static_cast<int>(top.kind) || empty.code != top.code) __builtin_trap();
  (void)ad;
  (void)asciiConsoleText(*response.body);
  QvConfiguration::setLogSink(nullptr);
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::replyBody)
