// The shared URL cache settings of the process: what the web engine may keep of
// responses on disk and in memory. The web ad container empties it and sets its
// capacities; a backend with a real engine applies them. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>

namespace qvad {

class URLCache {
 public:
  /// The process's cache, made on first use and never destroyed.
  static URLCache& shared();

  void removeAllCachedResponses();
  std::uint64_t diskCapacity() const;
  void setDiskCapacity(std::uint64_t bytes);
  std::uint64_t memoryCapacity() const;
  void setMemoryCapacity(std::uint64_t bytes);
  /// How often the cache was emptied (diagnostics and tests).
  std::uint64_t removalCount() const;

 private:
  URLCache() = default;

  mutable std::mutex mu_;
  std::uint64_t diskCapacity_ = 20u * 1024 * 1024;
  std::uint64_t memoryCapacity_ = 4u * 1024 * 1024;
  std::uint64_t removals_ = 0;
};

}  // namespace qvad
