#include "device/map_location_manager.h"

#include "net/text_utils.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/notification_center.h"

namespace qvad {

MapLocationManager& MapLocationManager::shared() {
  static std::shared_ptr<MapLocationManager> instance = create();  // thread-safe, never destroyed before exit
  return *instance;
}

std::shared_ptr<MapLocationManager> MapLocationManager::create() {
  std::shared_ptr<MapLocationManager> m(new MapLocationManager);
  // Fixes reach this instance once the host starts updates.
  m->locationManager_.setDelegate(m);
  return m;
}

void MapLocationManager::startLocation() { locationManager_.startUpdatingLocation(); }

void MapLocationManager::didUpdateLocations(LocationManager&, const std::vector<Location>& locations) {
  if (locations.empty()) return;
  const Location& last = locations.back();
  logLine("longitude: " + shortestDoubleText(last.longitude) + " latitude: " + shortestDoubleText(last.latitude));
  {
    std::lock_guard lock(mu_);
    lastLocationDate_ = Clock::current()->secondsSince1970();
    currentLocation_ = last;
  }
  lonLatToCity();
}

void MapLocationManager::didFailWithError(LocationManager&, const PlatformError& error) {
  logLine("定位失败， " + error.localizedDescription);
}

void MapLocationManager::lonLatToCity() {
  Location location;
  {
    std::lock_guard lock(mu_);
    if (isFirstLoactionSucc_ || !currentLocation_) return;
    location = *currentLocation_;
    latitude_ = location.latitude;
    longitude_ = location.longitude;
  }
  logLine(shortestDoubleText(location.latitude));
  logLine(shortestDoubleText(location.longitude));
  std::weak_ptr<MapLocationManager> weak = weak_from_this();
  Geocoder().reverseGeocodeLocation(location, [weak](const std::vector<Placemark>& placemarks,
                                                     const std::optional<PlatformError>& error) {
    if (auto self = weak.lock()) self->applyGeocoding(placemarks, error);
  });
}

void MapLocationManager::applyGeocoding(const std::vector<Placemark>& placemarks,
                                        const std::optional<PlatformError>& error) {
  if (error) {
    logLine(error->debugText());
    return;
  }
  // An answer with neither an error nor a placemark is a failed lookup: try again on the next fix.
  if (placemarks.empty()) {
    logLine("reverse geocoding found no placemark");
    return;
  }
  const auto& dict = placemarks.front().addressDictionary;
  if (dict) {
    auto text = [&](const char* key) -> std::string {
      if (!dict->is_object()) return {};
      auto it = dict->find(key);
      return it != dict->end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    for (const char* key : {"Country", "CountryCode", "State", "City", "Thoroughfare"}) logLine(text(key));
    {
      std::lock_guard lock(mu_);
      countryName_ = text("Country");
      countryCode_ = text("CountryCode");
      admin_ = text("State");
      locality_ = text("City");
      thoroughfare_ = text("Thoroughfare");
      postalCode_ = text("postalCode");
    }
    locationManager_.stopUpdatingLocation();
    NotificationCenter::defaultCenter().post("didUpdateLocations");
  }
  std::lock_guard lock(mu_);
  isFirstLoactionSucc_ = true;
}

#define QVAD_GETTER(type, name) \
  type MapLocationManager::name() const { \
    std::lock_guard lock(mu_);            \
    return name##_;                       \
  }
QVAD_GETTER(std::optional<double>, latitude)
QVAD_GETTER(std::optional<double>, longitude)
QVAD_GETTER(bool, isFirstLoactionSucc)
QVAD_GETTER(std::optional<Location>, currentLocation)
QVAD_GETTER(double, lastLocationDate)
QVAD_GETTER(std::optional<std::string>, admin)
QVAD_GETTER(std::optional<std::string>, locality)
QVAD_GETTER(std::optional<std::string>, thoroughfare)
QVAD_GETTER(std::optional<std::string>, countryCode)
QVAD_GETTER(std::optional<std::string>, countryName)
QVAD_GETTER(std::string, postalCode)
#undef QVAD_GETTER

}  // namespace qvad
