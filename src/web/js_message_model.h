// One message a page posts to the bridge's script message channel, and the call inside
// it. Decoded member by member by JSON type: a member of another type (or null) is
// absent, a missing member keeps its default. Main thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qvad {

/// The channel, the only handler group and the default group of a message.
inline constexpr const char* kBridgeModuleName = "tavro";

/// Page messages larger than this, or nested deeper, are dropped undecoded: a page
/// cannot make the host spend unbounded memory or stack on one message.
inline constexpr std::size_t kMaxPageMessageBytes = 1u << 20;
inline constexpr std::size_t kMaxPageMessageDepth = 64;

class JSMethodModel {
 public:
  std::optional<std::string> method;
  std::optional<nlohmann::json> params;  // always an object when present
  std::optional<std::string> callback;

  static std::optional<JSMethodModel> create(const nlohmann::json&) { return JSMethodModel{}; }
  void mapping(const nlohmann::json& value);
};

class JSMessageModel {
 public:
  using Callback = std::function<void(const nlohmann::json& params)>;

  std::optional<std::string> action;
  std::optional<std::string> handle = std::string(kBridgeModuleName);
  std::shared_ptr<JSMethodModel> method;
  std::string callbackFunction = "window.callbackDispatcher";

  static std::optional<JSMessageModel> create(const nlohmann::json&) { return JSMessageModel{}; }
  void mapping(const nlohmann::json& value);

  /// A posted value: a JSON object, or a text holding one (read the same way). Nothing
  /// for anything else, or beyond the size and nesting limits.
  static std::shared_ptr<JSMessageModel> decode(const nlohmann::json& posted);
  /// JSON text of an object, or of a string holding one (a prompt's text, or a posted
  /// value as an engine serialises it); nothing otherwise.
  static std::shared_ptr<JSMessageModel> decodeText(std::string_view text);

  /// The reply function, installed by the bridge when the message asks for a reply.
  void setCallback(Callback callback) { callback_ = std::move(callback); }
  const Callback& callback() const { return callback_; }

  /// The page function that takes replies: `method.callback`, absent when either is.
  std::optional<std::string> replyTarget() const { return method ? method->callback : std::nullopt; }

 private:
  Callback callback_;
};

}  // namespace qvad
