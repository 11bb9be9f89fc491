// Process-wide named notifications. Observers run synchronously on the posting
// thread, in the order they were added; an observer may add or remove observers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace qvad {

struct Notification {
  std::string name;
  const void* object = nullptr;          // the sender, compared by address only
  nlohmann::json userInfo;               // null when absent
};

class NotificationCenter {
 public:
  using ObserverId = std::uint64_t;
  using Handler = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();

  /// Observes `name`; an empty name observes every notification.
  ObserverId addObserver(std::string name, Handler handler);
  void removeObserver(ObserverId id);
  void post(const std::string& name, const void* object = nullptr, nlohmann::json userInfo = nullptr);

 private:
  struct Entry {
    ObserverId id;
    std::string name;
    std::shared_ptr<Handler> handler;
  };
  std::mutex mu_;
  std::vector<Entry> entries_;
  ObserverId nextId_ = 1;
};

}  // namespace qvad
