#include "platform/location.h"

#include "platform/main_queue.h"
#include "platform/service_slot.h"

namespace qvad {

void LocationManager::setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) {
  std::lock_guard lock(mu_);
  delegate_ = std::move(delegate);
}

void LocationManager::startUpdatingLocation() {
  std::lock_guard lock(mu_);
  updating_ = true;
}

void LocationManager::stopUpdatingLocation() {
  std::lock_guard lock(mu_);
  updating_ = false;
}

bool LocationManager::isUpdating() const {
  std::lock_guard lock(mu_);
  return updating_;
}

std::shared_ptr<LocationManagerDelegate> LocationManager::delegate() const {
  std::lock_guard lock(mu_);
  return updating_ ? delegate_.lock() : nullptr;
}

void LocationManager::deliverLocations(const std::vector<Location>& locations) {
  if (auto d = delegate()) d->didUpdateLocations(*this, locations);
}

void LocationManager::deliverError(const PlatformError& error) {
  if (auto d = delegate()) d->didFailWithError(*this, error);
}

namespace {

class UnavailableGeocoder final : public GeocoderBackend {
 public:
  void reverseGeocode(const Location&, Geocoder::Completion completion) override {
    dispatchMain([completion = std::move(completion)] {
      completion({}, PlatformError{2, "kCLErrorDomain", "geocoding unavailable", ""});
    });
  }
};

std::shared_ptr<GeocoderBackend> makeUnavailableGeocoder() { return std::make_shared<UnavailableGeocoder>(); }

}  // namespace

ServiceSlot<GeocoderBackend>& GeocoderBackend::slot() {
  static auto* slot = new ServiceSlot<GeocoderBackend>("geocoder", makeUnavailableGeocoder);
  return *slot;
}

void Geocoder::reverseGeocodeLocation(const Location& location, Completion completion) {
  GeocoderBackend::slot().get()->reverseGeocode(location, std::move(completion));
}

}  // namespace qvad
