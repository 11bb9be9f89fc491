// qvadctl bridge: the JavaScript bridge's wire format on the command line, through the
// bridge's own decoder and reply builders.
#include <charconv>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "qvad/configuration.h"
#include "web/js_message_model.h"
#include "web/page_origin.h"
#include "web/wk_js_bridge.h"

namespace qvadctl {

const char* const kBridgeUsage =
    "usage: qvadctl bridge decode JSON\n"
    "       qvadctl bridge reply --callback NAME [--ret N] [--msg TEXT] [--params JSON]\n"
    "       qvadctl bridge message --callback NAME --params JSON\n"
    "       qvadctl bridge escape < TEXT\n"
    "\n"
    "decode   decodes a page message (a JSON object, or a JSON string holding one) and prints\n"
    "         {\"handle\":...,\"action\":...,\"method\":{\"method\":...,\"params\":...,\"callback\":...},\n"
    "          \"callbackFunction\":...} with absent fields as null, or {\"decoded\":false}.\n"
    "reply    prints the reply-envelope script the actions send: NAME('{\"msg\":...,\"params\":\n"
    "         <base64 of the params JSON>,\"ret\":...}'); ret -1, msg \"\" and params {} by default.\n"
    "message  prints the message-reply script: NAME('<params JSON, escaped>').\n"
    "escape   escapes standard input as the message reply does and prints it without adding\n"
    "         a line break.\n"
    "\n"
    "--params takes a JSON object. A reply that cannot be serialised prints nothing and exits 1.\n";

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

int usageError(const std::string& message) { return qvadctl::reportUsageError("bridge", message); }

ordered_json orNull(const std::optional<std::string>& s) { return s ? ordered_json(*s) : ordered_json(nullptr); }

int decode(const Args& args) {
  if (args.size() != 1) return usageError("decode takes one JSON argument");
  auto message = qvad::JSMessageModel::decodeText(args[0]);
  ordered_json out;
  if (!message) {
    out = {{"decoded", false}};
  } else {
    ordered_json method = nullptr;
    if (message->method) {
      const auto& m = *message->method;
      method = {{"method", orNull(m.method)},
                {"params", m.params ? ordered_json::parse(m.params->dump()) : ordered_json(nullptr)},
                {"callback", orNull(m.callback)}};
    }
    out = {{"handle", orNull(message->handle)},
           {"action", orNull(message->action)},
           {"method", method},
           {"callbackFunction", message->callbackFunction}};
  }
  std::printf("%s\n", out.dump().c_str());
  return 0;
}

struct ReplyOptions {
  std::optional<std::string> callback;
  std::optional<std::int64_t> ret;
  std::optional<std::string> msg;
  std::optional<json> params;
};

// Parses --callback, --ret, --msg and --params; the others only where `allowed` says.
std::optional<std::string> parseOptions(const Args& args, bool envelope, ReplyOptions& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool known = a == "--callback" || a == "--params" || (envelope && (a == "--ret" || a == "--msg"));
    if (!known) return "unknown argument: " + a;
    if (i + 1 >= args.size()) return "missing value for " + a;
    const std::string& v = args[++i];
    if (a == "--callback") {
      o.callback = v;
    } else if (a == "--msg") {
      o.msg = v;
    } else if (a == "--ret") {
      std::int64_t n = 0;
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
      if (ec != std::errc() || end != v.data() + v.size()) return "--ret takes an integer: " + v;
      o.ret = n;
    } else {
      json p = json::parse(v, nullptr, /*allow_exceptions=*/false);
      if (!p.is_object()) return "--params takes a JSON object: " + v;
      o.params = std::move(p);
    }
  }
  if (!o.callback) return std::string("--callback is required");
  if (!envelope && !o.params) return std::string("--params is required");
  return std::nullopt;
}

int printScript(const std::optional<std::string>& script) {
  if (!script) {
    std::fprintf(stderr, "qvadctl bridge: the reply cannot be serialised; nothing is sent\n");
    return 1;
  }
  std::printf("%s\n", script->c_str());
  return 0;
}

}  // namespace

int bridgeCommand(const Args& args) {
  if (args.empty()) return usageError("missing subcommand");
  // Standard output carries only the result; console lines go to standard error.
  qvad::QvConfiguration::setLogSink([](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  });
  const std::string& sub = args[0];
  const Args rest(args.begin() + 1, args.end());
  if (sub == "decode") return decode(rest);
  if (sub == "reply" || sub == "message") {
    ReplyOptions o;
    if (auto error = parseOptions(rest, sub == "reply", o)) return usageError(*error);
    if (!qvad::isCallbackName(*o.callback)) return usageError("--callback must be a dotted script name");
    if (sub == "reply")
      return printScript(qvad::WKJSBridge::replyEnvelopeScript(*o.callback, o.ret, o.msg, o.params.value_or(json::object())));
    return printScript(qvad::WKJSBridge::messageReplyScript(*o.callback, *o.params));
  }
  if (sub == "escape") {
    if (!rest.empty()) return usageError("escape reads standard input only");
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    auto escaped = qvad::WKJSBridge::transcodingJavaScriptMessage(text);
    std::fwrite(escaped->data(), 1, escaped->size(), stdout);
    return 0;
  }
  return usageError("unknown subcommand: " + sub);
}

}  // namespace qvadctl
