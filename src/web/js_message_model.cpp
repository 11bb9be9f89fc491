#include "web/js_message_model.h"

#include <vector>

#include "net/result_parse.h"

namespace qvad {
namespace {

std::optional<std::string> stringMember(const nlohmann::json& object, const char* key, bool* present = nullptr) {
  auto it = object.find(key);
  if (present) *present = it != object.end();
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

// Deepest nesting of objects and arrays, without recursion, stopping once past `limit`.
bool withinDepth(const nlohmann::json& root, std::size_t limit) {
  std::vector<std::pair<const nlohmann::json*, std::size_t>> stack{{&root, 1}};
  while (!stack.empty()) {
    auto [value, depth] = stack.back();
    stack.pop_back();
    if (!value->is_structured()) continue;
    if (depth > limit) return false;
    for (const auto& child : *value) stack.emplace_back(&child, depth + 1);
  }
  return true;
}

// The same on text, before parsing: brackets outside strings.
bool textWithinDepth(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > limit) return false;
    } else if ((c == '}' || c == ']') && depth > 0) {
      --depth;
    }
  }
  return true;
}

}  // namespace

void JSMethodModel::mapping(const nlohmann::json& value) {
  method = stringMember(value, "method");
  callback = stringMember(value, "callback");
  auto it = value.find("params");
  if (it != value.end() && it->is_object()) params = *it;
  else params.reset();
}

void JSMessageModel::mapping(const nlohmann::json& value) {
  bool present = false;
  auto h = stringMember(value, "handle", &present);
  if (present) handle = std::move(h);
  action = stringMember(value, "action");
  auto it = value.find("method");
  if (it != value.end()) {
    auto parsed = ResultParse<JSMethodModel>::parse(*it, {});
    method = parsed.value ? std::make_shared<JSMethodModel>(std::move(*parsed.value)) : nullptr;
  }
  if (auto f = stringMember(value, "callbackFunction")) callbackFunction = std::move(*f);
}

std::shared_ptr<JSMessageModel> JSMessageModel::decode(const nlohmann::json& posted) {
  if (posted.is_string()) return decodeText(posted.get_ref<const std::string&>());
  if (!posted.is_object() || !withinDepth(posted, kMaxPageMessageDepth)) return nullptr;
  auto parsed = ResultParse<JSMessageModel>::parse(posted, {});
  return parsed.value ? std::make_shared<JSMessageModel>(std::move(*parsed.value)) : nullptr;
}

std::shared_ptr<JSMessageModel> JSMessageModel::decodeText(std::string_view text) {
  if (text.size() > kMaxPageMessageBytes || !textWithinDepth(text, kMaxPageMessageDepth)) return nullptr;
  nlohmann::json value = nlohmann::json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  // JSON text of a posted text (an engine may hand over every value as JSON) holds the
  // message one level down; deeper wrapping is not a message.
  if (value.is_string()) {
    const std::string& inner = value.get_ref<const std::string&>();
    if (inner.size() > kMaxPageMessageBytes || !textWithinDepth(inner, kMaxPageMessageDepth)) return nullptr;
    value = nlohmann::json::parse(inner, nullptr, /*allow_exceptions=*/false);
  }
  return value.is_object() ? decode(value) : nullptr;
}

}  // namespace qvad
