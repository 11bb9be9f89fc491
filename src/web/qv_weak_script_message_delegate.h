// Stands between a user content controller, which holds its handlers strongly, and the
// real receiver of page messages, which it holds weakly: the receiver (the web
// container) stays free of a reference cycle through its own web view.
#pragma once

#include <memory>

#include "platform/web_view.h"

namespace qvad {

class QvWeakScriptMessageDelegate final : public ScriptMessageHandler {
 public:
  explicit QvWeakScriptMessageDelegate(std::weak_ptr<ScriptMessageHandler> scriptDelegate)
      : scriptDelegate_(std::move(scriptDelegate)) {}

  /// Forwards to the receiver while it exists; drops the message once it is gone.
  void didReceiveScriptMessage(UserContentController& controller, const ScriptMessage& message) override {
    if (auto receiver = scriptDelegate_.lock()) receiver->didReceiveScriptMessage(controller, message);
  }

  std::shared_ptr<ScriptMessageHandler> scriptDelegate() const { return scriptDelegate_.lock(); }

 private:
  std::weak_ptr<ScriptMessageHandler> scriptDelegate_;
};

}  // namespace qvad
