// Sends one signed request URL to the ad platform and turns the reply into a typed
// result or a code with a message. Callbacks always run on the main queue.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "net/result_parse.h"
#include "platform/http_session.h"
#include "platform/main_queue.h"

namespace qvad {

/// Codes the request layer makes itself.
inline constexpr std::int64_t kConnectErrorCode = -1000;
inline constexpr const char* kConnectErrorText = "connect_error";
inline constexpr std::int64_t kNoKeyErrorCode = -999;
inline constexpr const char* kNoKeyErrorText = "nokey_error";

/// Replies of the ad platform are small envelopes; anything larger fails with -1103.
inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

/// What the envelope alone decides about a finished exchange.
struct EnvelopeVerdict {
  enum class Kind {
    none,     // nothing is called: no body, or a body that is not JSON
    failure,  // onFailed(code, msg)
    payload,  // "code" was 0: map `reply` onto the result type
  };
  Kind kind = Kind::none;
  std::int64_t code = 0;
  std::string msg;
  nlohmann::json reply;
};

/// Reads a finished exchange: transport error, body, JSON, envelope. Writes the body
/// as the console's reply line once it parsed as JSON. The HTTP status is not looked at.
EnvelopeVerdict readEnvelope(const HttpResponse& response);

/// "Optional(<debug text>)": how a transport error's text reaches onFailed.
std::string optionalDescription(const PlatformError& error);

/// The body as the console shows it: empty when it is not ASCII; control characters
/// other than tab and line breaks become '?', so a server cannot drive the terminal.
std::string asciiConsoleText(std::string_view body);

template <class T>
struct ReplyOutcome {
  enum class Kind { none, success, failure };
  Kind kind = Kind::none;
  std::optional<T> value;  // set on success
  std::int64_t code = 0;   // set on failure
  std::string msg;
};

/// The whole completion logic of a request, without the posting: what the callbacks
/// of a request for T would receive.
template <class T>
ReplyOutcome<T> readReply(const HttpResponse& response, const std::vector<std::string>& keys) {
  using Kind = typename ReplyOutcome<T>::Kind;
  ReplyOutcome<T> out;
  EnvelopeVerdict verdict = readEnvelope(response);
  switch (verdict.kind) {
    case EnvelopeVerdict::Kind::none:
      return out;
    case EnvelopeVerdict::Kind::failure:
      out.kind = Kind::failure;
      out.code = verdict.code;
      out.msg = std::move(verdict.msg);
      return out;
    case EnvelopeVerdict::Kind::payload:
      break;
  }
  ParseResult<T> parsed = ResultParse<T>::parse(verdict.reply, keys);
  if (parsed.error) {
    out.kind = Kind::failure;
    out.code = kNoKeyErrorCode;
    out.msg = kNoKeyErrorText;
  } else if (parsed.value) {
    out.kind = Kind::success;
    out.value = std::move(parsed.value);
  } else {
    out.kind = Kind::failure;
    out.code = kConnectErrorCode;
    out.msg = kConnectErrorText;
  }
  return out;
}

/// Prints the URL, sends the POST and returns at once; false when the URL does not
/// parse (nothing is sent and neither callback is ever called).
bool sendRequest(const std::string& urlStr, const std::optional<nlohmann::json>& params, HttpCompletion completion);

template <class T>
class RequestManager {
 public:
  using OnSuccessed = std::function<void(T)>;
  using OnFailed = std::function<void(std::int64_t code, std::string msg)>;

  /// Sends `urlStr` (a complete signed URL) as a POST, with `params` as a JSON body
  /// when given. At most one callback runs, always later on the main queue; none for a
  /// URL that does not parse, a reply without body, or a body that is not JSON. The
  /// callbacks are released on the main queue too.
  static void request(const std::string& urlStr, const std::optional<nlohmann::json>& params,
                      std::vector<std::string> keys, OnSuccessed onSuccessed, OnFailed onFailed) {
    sendRequest(urlStr, params,
                [keys = std::move(keys), onSuccessed = std::move(onSuccessed),
                 onFailed = std::move(onFailed)](HttpResponse response) mutable {
                  auto outcome = std::make_shared<ReplyOutcome<T>>(readReply<T>(response, keys));
                  dispatchMain([outcome, onSuccessed = std::move(onSuccessed), onFailed = std::move(onFailed)] {
                    using Kind = typename ReplyOutcome<T>::Kind;
                    if (outcome->kind == Kind::success && onSuccessed) onSuccessed(std::move(*outcome->value));
                    if (outcome->kind == Kind::failure && onFailed) onFailed(outcome->code, std::move(outcome->msg));
                  });
                });
  }
};

}  // namespace qvad
