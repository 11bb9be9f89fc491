// Location services of the platform: a location manager that delivers fixes to its
// delegate, and a reverse geocoder. Nothing produces fixes by default; tests and
// hosts drive both (deliver fixes, answer geocoding requests).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/error.h"

namespace qvad {

struct Location {
  double latitude = 0;
  double longitude = 0;
  double timestamp = 0;  // seconds since 1970
};

class LocationManager;

class LocationManagerDelegate {
 public:
  virtual ~LocationManagerDelegate() = default;
  virtual void didUpdateLocations(LocationManager& manager, const std::vector<Location>& locations) = 0;
  virtual void didFailWithError(LocationManager& manager, const PlatformError& error) = 0;
};

class LocationManager {
 public:
  void setDelegate(std::weak_ptr<LocationManagerDelegate> delegate);
  void startUpdatingLocation();
  void stopUpdatingLocation();
  bool isUpdating() const;

  /// The platform side: hands fixes (oldest first) or an error to the delegate, on the
  /// calling thread, which must be the main thread. Dropped while updates are stopped.
  void deliverLocations(const std::vector<Location>& locations);
  void deliverError(const PlatformError& error);

 private:
  std::shared_ptr<LocationManagerDelegate> delegate() const;

  mutable std::mutex mu_;
  std::weak_ptr<LocationManagerDelegate> delegate_;
  bool updating_ = false;
};

/// One result of reverse geocoding; the address dictionary may be missing.
struct Placemark {
  std::optional<nlohmann::json> addressDictionary;
};

class Geocoder {
 public:
  using Completion = std::function<void(const std::vector<Placemark>&, const std::optional<PlatformError>&)>;
  /// Answers a request; must call the completion later on the main queue.
  using Backend = std::function<void(const Location&, Completion)>;

  /// Starts reverse geocoding; `completion` runs later on the main thread.
  void reverseGeocodeLocation(const Location& location, Completion completion);

  /// Installs the process's geocoding backend; an empty one restores the default,
  /// which answers every request with a "geocoding unavailable" error.
  static void setBackend(Backend backend);
};

/// A backend for tests and demos: keeps requests until they are answered.
class ScriptedGeocoder {
 public:
  struct Request {
    Location location;
    Geocoder::Completion completion;
  };
  /// Installs itself as the geocoding backend; uninstalls when destroyed.
  ScriptedGeocoder();
  ~ScriptedGeocoder();

  std::size_t pendingCount() const;
  Location pendingLocation(std::size_t index) const;
  /// Answers request `index` (posted to the main queue) and removes it.
  void answer(std::size_t index, std::vector<Placemark> placemarks, std::optional<PlatformError> error = std::nullopt);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace qvad
