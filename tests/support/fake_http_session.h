// An HTTP session that sends nothing: it records each task and completes it when the
// test says so, on a thread of its own like the real worker. Fault switches: reply
// with any body and status, no body at all, or a transport error.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/http_session.h"
#include "platform/service_slot.h"

namespace qvad::testing {

class FakeHttpSession final : public HttpSession {
 public:
  void dataTask(HttpRequest request, HttpCompletion completion) override {
    std::lock_guard lock(mu_);
    requests_.push_back(request);
    pending_.push_back(std::move(completion));
  }

  std::vector<HttpRequest> requests() const {
    std::lock_guard lock(mu_);
    return requests_;
  }
  std::size_t pending() const {
    std::lock_guard lock(mu_);
    return pending_.size();
  }

  /// Completes the pending task at `index` (0: the oldest) on another thread and
  /// waits for the completion to return.
  void complete(HttpResponse response, std::size_t index = 0) {
    HttpCompletion c;
    {
      std::lock_guard lock(mu_);
      c = std::move(pending_.at(index));
      pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(index));
    }
    std::thread worker([&] { c(std::move(response)); c = nullptr; });
    worker.join();
  }
  void replyBody(std::string body, long status = 200, std::size_t index = 0) {
    complete(HttpResponse{std::move(body), status, std::nullopt}, index);
  }
  void replyError(long code, std::string debugText, std::size_t index = 0) {
    PlatformError e;
    e.code = code;
    e.domain = kURLErrorDomain;
    e.debugDescription = std::move(debugText);
    complete(HttpResponse{std::nullopt, 0, e}, index);
  }

 private:
  mutable std::mutex mu_;
  std::vector<HttpRequest> requests_;
  std::deque<HttpCompletion> pending_;
};

/// Puts a fake session in place for the life of the object, then restores the previous one.
class ScopedFakeSession {
 public:
  ScopedFakeSession() : fake_(std::make_shared<FakeHttpSession>()), override_(HttpSession::slot(), fake_) {}
  FakeHttpSession* operator->() const { return fake_.get(); }
  FakeHttpSession& operator*() const { return *fake_; }

 private:
  std::shared_ptr<FakeHttpSession> fake_;
  ScopedServiceOverride<HttpSession> override_;
};

}  // namespace qvad::testing
