#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "fuzz_targets.h"
#include "net/text_utils.h"
#include "web/page_origin.h"
#include "web/wk_js_bridge.h"

#ifdef QVAD_FUZZ_DUKTAPE
#include <duktape.h>
#endif

namespace qvad::fuzz {
namespace {

void appendUTF8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::optional<std::uint32_t> hexValue(std::string_view s, std::size_t at, std::size_t count) {
  if (at + count > s.size()) return std::nullopt;
  std::uint32_t v = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    const char c = s[i];
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<std::uint32_t>(d);
  }
  return v;
}

bool startsWithLineTerminator(std::string_view s, std::size_t at) {
  if (s[at] == '\n' || s[at] == '\r') return true;
  // U+2028 and U+2029 end a line in older engines.
  return s.compare(at, 3, "\u2028") == 0 || s.compare(at, 3, "\u2029") == 0;
}

// The value of a single-quoted script string literal's body by the language's rules,
// or nothing when the body would not parse: a raw line terminator, a raw quote, a
// legacy octal or malformed escape, a lone surrogate (no UTF-8 text comes back from it).
// Bytes that need no escape come back as they are.
std::optional<std::string> decodeSingleQuoted(std::string_view body) {
  std::string out;
  std::uint32_t highSurrogate = 0;  // the unit waiting for its pair; 0 when none is
  auto pushUnit = [&](std::uint32_t unit) {
    if (highSurrogate) {
      if (unit < 0xDC00 || unit > 0xDFFF) return false;
      appendUTF8(out, 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
      highSurrogate = 0;
      return true;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      highSurrogate = unit;
      return true;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    appendUTF8(out, unit);
    return true;
  };
  for (std::size_t i = 0; i < body.size();) {
    if (highSurrogate && body[i] != '\\') return std::nullopt;
    if (startsWithLineTerminator(body, i) || body[i] == '\'') return std::nullopt;
    if (body[i] != '\\') {
      out += body[i++];
      continue;
    }
    if (++i == body.size()) return std::nullopt;
    if (startsWithLineTerminator(body, i)) return std::nullopt;  // a line continuation
    const char c = body[i++];
    switch (c) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'v': out += '\v'; break;
      case '0':
        if (i < body.size() && body[i] >= '0' && body[i] <= '9') return std::nullopt;
        out += '\0';
        break;
      case 'x': {
        auto v = hexValue(body, i, 2);
        if (!v) return std::nullopt;
        i += 2;
        appendUTF8(out, *v);
        break;
      }
      case 'u': {
        std::optional<std::uint32_t> v;
        if (i < body.size() && body[i] == '{') {
          const auto close = body.find('}', i);
          if (close == std::string_view::npos || close == i + 1 || close - i - 1 > 6) return std::nullopt;
          v = hexValue(body, i + 1, close - i - 1);
          if (!v || *v > 0x10FFFF) return std::nullopt;
          i = close + 1;
        } else {
          v = hexValue(body, i, 4);
          if (!v) return std::nullopt;
          i += 4;
        }
        if (!pushUnit(*v)) return std::nullopt;
        break;
      }
      default:
        if (c >= '1' && c <= '9') return std::nullopt;  // octal, or \8 \9: not in strict code
        out += c;                                        // an escaped character stands for itself
    }
    if (highSurrogate && c != 'u') return std::nullopt;
  }
  if (highSurrogate) return std::nullopt;
  return out;
}

bool containsScriptEnd(std::string_view script) {
  static constexpr std::string_view kEnd = "</script";
  for (std::size_t at = script.find("</"); at != std::string_view::npos; at = script.find("</", at + 1)) {
    if (script.size() - at < kEnd.size()) return false;
    bool same = true;
    for (std::size_t k = 2; k < kEnd.size(); ++k) {
      char c = script[at + k];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = same && c == kEnd[k];
    }
    if (same) return true;
  }
  return false;
}

#ifdef QVAD_FUZZ_DUKTAPE
// The engine keeps a character outside the BMP as its two surrogates, each written as
// a three-byte sequence: the valid UTF-8 `text` in that form.
std::string surrogateForm(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0xF0) {
      const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
      out.append(text, i, n);
      i += n;
      continue;
    }
    const std::uint32_t cp = ((lead & 0x07u) << 18) | ((text[i + 1] & 0x3Fu) << 12) | ((text[i + 2] & 0x3Fu) << 6) |
                             (text[i + 3] & 0x3Fu);
    appendUTF8(out, 0xD800 + ((cp - 0x10000) >> 10));
    appendUTF8(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    i += 4;
  }
  return out;
}

// A real script engine as the second reader: it runs the script and hands back what
// the callback received.
std::optional<std::string> runInEngine(const std::string& script) {
  static duk_context* ctx = [] {
    duk_context* made = duk_create_heap_default();
    duk_eval_string_noresult(made, "var got; var page = {reply: function (s) { got = s; }};");
    return made;
  }();
  duk_eval_string_noresult(ctx, "got = undefined;");
  if (duk_peval_lstring(ctx, script.data(), script.size()) != 0) {
    duk_pop(ctx);
    return std::nullopt;
  }
  duk_pop(ctx);
  duk_get_global_string(ctx, "got");
  std::optional<std::string> got;
  if (duk_is_string(ctx, -1)) {
    duk_size_t n = 0;
    const char* s = duk_get_lstring(ctx, -1, &n);
    got.emplace(s, n);
  }
  duk_pop(ctx);
  return got;
}
#endif

// `script` must be exactly `callback('literal')` whose literal reads back as `expected`.
void checkScript(const std::string& script, const std::string& callback, const std::string& expected) {
  const std::string head = callback + "('";
  if (script.size() < head.size() + 2 || script.compare(0, head.size(), head) != 0 ||
      script.compare(script.size() - 2, 2, "')") != 0)
    __builtin_trap();
  if (containsScriptEnd(script)) __builtin_trap();
  auto decoded = decodeSingleQuoted(std::string_view(script).substr(head.size(), script.size() - head.size() - 2));
  if (!decoded || *decoded != expected) __builtin_trap();
#ifdef QVAD_FUZZ_DUKTAPE
  if (callback == "page.reply" && isValidUTF8(expected)) {
    auto got = runInEngine(script);
    if (!got || *got != surrogateForm(expected)) __builtin_trap();
  }
#endif
}

}  // namespace

void replyScript(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string callback = "page.reply";

  // Any text straight through the escaper: one literal that reads back as the text.
  auto escaped = WKJSBridge::transcodingJavaScriptMessage(text);
  if (!escaped) __builtin_trap();
  checkScript(callback + "('" + *escaped + "')", callback, text);

  // A message reply carrying the text: the page reads the JSON, then the member.
  const nlohmann::json params = {{"text", text}};
  auto script = WKJSBridge::messageReplyScript(callback, params);
  if (!isValidUTF8(text)) {
    if (script) __builtin_trap();  // text that is not UTF-8 cannot be serialised
    return;
  }
  if (!script) __builtin_trap();
  checkScript(*script, callback, params.dump());
  const std::string literal = *decodeSingleQuoted(std::string_view(*script).substr(callback.size() + 2, script->size() - callback.size() - 4));
  auto read = nlohmann::json::parse(literal, nullptr, false);
  if (!read.is_object() || !read["text"].is_string() || read["text"].get<std::string>() != text) __builtin_trap();

  // The input as a callback name: a name that is no dotted script name gets no script.
  if (size <= 64) {
    auto named = WKJSBridge::messageReplyScript(text, params);
    if (named.has_value() != isCallbackName(text)) __builtin_trap();
    if (named) checkScript(*named, text, params.dump());
  }
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::replyScript)
