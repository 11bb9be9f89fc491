#include <string>

#include <nlohmann/json.hpp>

#include "fuzz_targets.h"
#include "platform/headless/scripted_web_view.h"
#include "platform/main_queue.h"
#include "web/js_message_model.h"
#include "web/page_origin.h"
#include "web/wk_js_bridge.h"

namespace qvad::fuzz {
namespace {

std::optional<std::string> unbase64(const std::string& text) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    auto pos = kAlphabet.find(c);
    if (pos == std::string::npos) return std::nullopt;
    buffer = (buffer << 6) | static_cast<unsigned>(pos);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xff);
    }
  }
  return out;
}

// Every reply of the built-in actions is an envelope to the current message's callback,
// whose params decode back to a JSON object.
void checkEnvelope(const std::string& script, const std::string& callback) {
  if (script.compare(0, callback.size() + 2, callback + "('") != 0) __builtin_trap();
  if (script.size() < callback.size() + 4 || script.compare(script.size() - 2, 2, "')") != 0) __builtin_trap();
  const std::string body = script.substr(callback.size() + 2, script.size() - callback.size() - 4);
  nlohmann::json reply = nlohmann::json::parse(body, nullptr, false);
  if (!reply.is_object() || !reply["ret"].is_number_integer() || !reply["msg"].is_string() ||
      !reply["params"].is_string())
    __builtin_trap();
  auto params = unbase64(reply["params"].get<std::string>());
  if (!params || !nlohmann::json::parse(*params, nullptr, false).is_object()) __builtin_trap();
}

}  // namespace

void pageMessage(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  MainQueue::main();
  auto* queue = HeadlessMainQueue::current();
  if (!queue) return;

  auto webView = std::make_shared<ScriptedWebView>(Rect{}, WebViewConfiguration{});
  auto bridge = WKJSBridge::bind(webView);
  bridge->setPageConfig([](bool) {});
  bridge->setAdCallBackAction([](const std::string&) {});
  bridge->jsbridge();

  // The same bytes as a posted text, and as a prompt (the second way in).
  bridge->receivePageMessage(nlohmann::json(text));
  const auto posted = bridge->jsModel();
  queue->runUntilIdle();
  for (const auto& script : webView->evaluatedScriptTexts()) checkEnvelope(script, posted->replyTarget().value_or(""));
  if (!webView->evaluatedScripts().empty() && !posted->replyTarget()) __builtin_trap();

  webView->runTextInputPanel(text);
  bridge->setOpenNotifyCallBackStr("1");
  webView->clearRecords();
  bridge->tryFinishCallBack();
  const auto target = bridge->jsModel()->replyTarget();
  // Whatever the page sent, a reply only ever calls a script name.
  if (target && !isCallbackName(*target)) __builtin_trap();
  if (webView->evaluatedScripts().size() != (target ? 1u : 0u)) __builtin_trap();
  if (target) checkEnvelope(webView->evaluatedScriptTexts()[0], *target);
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::pageMessage)
