// The shared URL cache settings of the process: what the web engine may keep of
// responses on disk and in memory. The web ad container empties it and sets its
// capacities; a backend with a real engine applies them. Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

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

  /// What a real web engine does with the settings: the backend that has one attaches
  /// it once. It hears every later change, on the thread that made it and outside the
  /// lock, and at once the capacities of now and an emptying when one was asked before
  /// (the engine's disk cache outlives the process).
  struct Engine {
    std::function<void(std::uint64_t memoryBytes, std::uint64_t diskBytes)> applyCapacities;
    std::function<void()> removeAll;
  };
  void attachEngine(Engine engine);

 private:
  URLCache() = default;
  void setCapacities(std::optional<std::uint64_t> memory, std::optional<std::uint64_t> disk);

  mutable std::mutex mu_;
  std::uint64_t diskCapacity_ = 20u * 1024 * 1024;
  std::uint64_t memoryCapacity_ = 4u * 1024 * 1024;
  std::uint64_t removals_ = 0;
  std::shared_ptr<const Engine> engine_;
};

}  // namespace qvad
