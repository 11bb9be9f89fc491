// Location services of the platform: a location manager that delivers fixes to its
// delegate, and a reverse geocoder. Nothing produces fixes by default; tests and
// hosts drive both (deliver fixes, answer geocoding requests).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/error.h"

namespace qvad {

template <class T>
class ServiceSlot;

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

  /// Starts reverse geocoding with the installed backend; `completion` runs later on
  /// the main thread.
  void reverseGeocodeLocation(const Location& location, Completion completion);
};

/// The platform service that answers geocoding requests. The default answers every
/// request with a "geocoding unavailable" error; hosts with a source of their own
/// install it at start-up.
class GeocoderBackend {
 public:
  virtual ~GeocoderBackend() = default;
  /// Answers a request; must call the completion later, on the main queue.
  virtual void reverseGeocode(const Location& location, Geocoder::Completion completion) = 0;

  static ServiceSlot<GeocoderBackend>& slot();
};

}  // namespace qvad
