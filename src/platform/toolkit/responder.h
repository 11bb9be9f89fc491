// The responder chain: a view answers its controller (when it is a controller's root
// view) or else its superview; a controller answers its root view's superview.
#pragma once

#include <memory>

namespace qvad {

class Responder : public std::enable_shared_from_this<Responder> {
 public:
  virtual ~Responder() = default;
  virtual std::shared_ptr<Responder> nextResponder() const = 0;

 protected:
  template <class T>
  std::shared_ptr<T> sharedAs() {
    return std::static_pointer_cast<T>(shared_from_this());
  }
  template <class T>
  std::shared_ptr<const T> sharedAs() const {
    return std::static_pointer_cast<const T>(shared_from_this());
  }
};

}  // namespace qvad
