// The device's advertising identifier: a random UUID kept in the data directory,
// resettable, with a limit-tracking switch under which apps must not use it.
#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace qvad {

class AdvertisingIdentifier {
 public:
  /// The identifier store of the configured data directory.
  static std::shared_ptr<AdvertisingIdentifier> shared();

  explicit AdvertisingIdentifier(std::string path);

  /// Upper-case 8-4-4-4-12 UUID text; made and persisted on first use.
  std::string uuidString();
  bool isAdvertisingTrackingEnabled();

  void setLimitTracking(bool limited);
  /// Makes a new identifier (the old one is forgotten).
  void reset();

  /// A version-4 UUID in upper case from the platform random source.
  static std::string makeUUID();

 private:
  void loadLocked();
  void saveLocked();

  const std::string path_;
  std::mutex mu_;
  bool loaded_ = false;
  std::string uuid_;
  bool limited_ = false;
};

}  // namespace qvad
