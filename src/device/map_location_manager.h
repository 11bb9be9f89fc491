// The library's holder of the device position and of the address found for it.
// Location callbacks and geocoding answers run on the main thread; the coordinates
// are read by request building on any thread, so every field sits behind one lock.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/location.h"

namespace qvad {

class MapLocationManager : public LocationManagerDelegate, public std::enable_shared_from_this<MapLocationManager> {
 public:
  /// The process-wide instance, made on first use.
  static MapLocationManager& shared();
  static std::shared_ptr<MapLocationManager> create();

  /// Starts location updates. Nothing in the library calls it; a host that has the
  /// user's consent may.
  void startLocation();

  void didUpdateLocations(LocationManager& manager, const std::vector<Location>& locations) override;
  void didFailWithError(LocationManager& manager, const PlatformError& error) override;

  std::optional<double> latitude() const;
  std::optional<double> longitude() const;
  bool isFirstLoactionSucc() const;
  std::optional<Location> currentLocation() const;
  double lastLocationDate() const;
  std::optional<std::string> admin() const;
  std::optional<std::string> locality() const;
  std::optional<std::string> thoroughfare() const;
  std::optional<std::string> countryCode() const;
  std::optional<std::string> countryName() const;
  std::string postalCode() const;

  LocationManager& locationManager() { return locationManager_; }

 private:
  MapLocationManager() = default;
  void lonLatToCity();
  void applyGeocoding(const std::vector<Placemark>& placemarks, const std::optional<PlatformError>& error);

  mutable std::mutex mu_;
  bool isFirstLoactionSucc_ = false;
  std::optional<Location> currentLocation_;
  LocationManager locationManager_;
  std::optional<double> latitude_;
  std::optional<double> longitude_;
  std::optional<std::string> admin_;
  std::optional<std::string> locality_;
  std::optional<std::string> thoroughfare_;
  std::optional<std::string> countryCode_;
  std::optional<std::string> countryName_;
  std::string postalCode_;
  double lastLocationDate_ = 0;
};

}  // namespace qvad
