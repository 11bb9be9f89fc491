#include "platform/url_cache.h"

namespace qvad {

URLCache& URLCache::shared() {
  static URLCache* cache = new URLCache();  // lives for the process
  return *cache;
}

void URLCache::removeAllCachedResponses() {
  std::shared_ptr<const Engine> engine;
  {
    std::lock_guard lock(mu_);
    ++removals_;
    engine = engine_;
  }
  if (engine && engine->removeAll) engine->removeAll();
}

std::uint64_t URLCache::diskCapacity() const {
  std::lock_guard lock(mu_);
  return diskCapacity_;
}

void URLCache::setDiskCapacity(std::uint64_t bytes) { setCapacities(std::nullopt, bytes); }

std::uint64_t URLCache::memoryCapacity() const {
  std::lock_guard lock(mu_);
  return memoryCapacity_;
}

void URLCache::setMemoryCapacity(std::uint64_t bytes) { setCapacities(bytes, std::nullopt); }

void URLCache::setCapacities(std::optional<std::uint64_t> memory, std::optional<std::uint64_t> disk) {
  std::shared_ptr<const Engine> engine;
  {
    std::lock_guard lock(mu_);
    if (memory) memoryCapacity_ = *memory;
    if (disk) diskCapacity_ = *disk;
    memory = memoryCapacity_;
    disk = diskCapacity_;
    engine = engine_;
  }
  if (engine && engine->applyCapacities) engine->applyCapacities(*memory, *disk);
}

std::uint64_t URLCache::removalCount() const {
  std::lock_guard lock(mu_);
  return removals_;
}

void URLCache::attachEngine(Engine engine) {
  auto attached = std::make_shared<const Engine>(std::move(engine));
  std::uint64_t memory = 0, disk = 0, removals = 0;
  {
    std::lock_guard lock(mu_);
    engine_ = attached;
    memory = memoryCapacity_;
    disk = diskCapacity_;
    removals = removals_;
  }
  if (attached->applyCapacities) attached->applyCapacities(memory, disk);
  if (removals > 0 && attached->removeAll) attached->removeAll();
}

}  // namespace qvad
