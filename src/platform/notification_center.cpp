#include "platform/notification_center.h"

#include <algorithm>

namespace qvad {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter;  // lives for the process
  return *center;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(std::string name, Handler handler) {
  std::lock_guard lock(mu_);
  ObserverId id = nextId_++;
  entries_.push_back({id, std::move(name), std::make_shared<Handler>(std::move(handler))});
  return id;
}

void NotificationCenter::removeObserver(ObserverId id) {
  std::lock_guard lock(mu_);
  std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

void NotificationCenter::post(const std::string& name, const void* object, nlohmann::json userInfo) {
  std::vector<std::pair<ObserverId, std::shared_ptr<Handler>>> targets;
  {
    std::lock_guard lock(mu_);
    for (const auto& e : entries_) {
      if (e.name.empty() || e.name == name) targets.emplace_back(e.id, e.handler);
    }
  }
  Notification n{name, object, std::move(userInfo)};
  for (const auto& target : targets) {
    const ObserverId id = target.first;
    bool stillObserving;
    {
      std::lock_guard lock(mu_);
      stillObserving = std::any_of(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
    }
    if (stillObserving) (*target.second)(n);
  }
}

}  // namespace qvad
