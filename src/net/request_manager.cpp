#include "net/request_manager.h"

#include "net/text_utils.h"
#include "platform/log.h"
#include "qvad/configuration.h"

namespace qvad {

std::string optionalDescription(const PlatformError& error) { return "Optional(" + error.debugText() + ")"; }

std::string asciiConsoleText(std::string_view body) {
  std::string out;
  out.reserve(body.size());
  for (unsigned char c : body) {
    if (c >= 0x80) return {};
    const bool control = (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
    out.push_back(control ? '?' : static_cast<char>(c));
  }
  return out;
}

EnvelopeVerdict readEnvelope(const HttpResponse& response) {
  EnvelopeVerdict v;
  if (response.error) {
    v.kind = EnvelopeVerdict::Kind::failure;
    v.code = response.error->code;
    v.msg = optionalDescription(*response.error);
    return v;
  }
  if (!response.body) return v;
  auto reply = parseReplyBody(*response.body);
  if (!reply) return v;
  logLine(asciiConsoleText(*response.body));

  auto code = envelopeCode(*reply);
  if (!code) {
    v.kind = EnvelopeVerdict::Kind::failure;
    v.code = kConnectErrorCode;
    v.msg = kConnectErrorText;
  } else if (*code != 0) {
    v.kind = EnvelopeVerdict::Kind::failure;
    v.code = *code;
    v.msg = envelopeMsg(*reply);
  } else {
    v.kind = EnvelopeVerdict::Kind::payload;
    v.reply = std::move(*reply);
  }
  return v;
}

bool sendRequest(const std::string& urlStr, const std::optional<nlohmann::json>& params, HttpCompletion completion) {
  logLine(urlStr);
  if (!HttpSession::isValidURL(urlStr)) return false;
  HttpRequest request;
  request.method = "POST";
  request.url = urlStr;
  request.timeoutSeconds = QvConfiguration::requestTimeout();
  request.maxBodyBytes = kMaxReplyBytes;
  if (params) request.body = toJSONString(*params);
  HttpSession::shared()->dataTask(std::move(request), std::move(completion));
  return true;
}

}  // namespace qvad
