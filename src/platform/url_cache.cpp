#include "platform/url_cache.h"

namespace qvad {

URLCache& URLCache::shared() {
  static URLCache* cache = new URLCache();  // lives for the process
  return *cache;
}

void URLCache::removeAllCachedResponses() {
  std::lock_guard lock(mu_);
  ++removals_;
}

std::uint64_t URLCache::diskCapacity() const {
  std::lock_guard lock(mu_);
  return diskCapacity_;
}

void URLCache::setDiskCapacity(std::uint64_t bytes) {
  std::lock_guard lock(mu_);
  diskCapacity_ = bytes;
}

std::uint64_t URLCache::memoryCapacity() const {
  std::lock_guard lock(mu_);
  return memoryCapacity_;
}

void URLCache::setMemoryCapacity(std::uint64_t bytes) {
  std::lock_guard lock(mu_);
  memoryCapacity_ = bytes;
}

std::uint64_t URLCache::removalCount() const {
  std::lock_guard lock(mu_);
  return removals_;
}

}  // namespace qvad
