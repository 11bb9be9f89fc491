#include "platform/location.h"

#include <stdexcept>

#include "platform/main_queue.h"

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

std::mutex backendMutex;
Geocoder::Backend backend;

void unavailable(const Location&, Geocoder::Completion completion) {
  dispatchMain([completion = std::move(completion)] {
    completion({}, PlatformError{2, "kCLErrorDomain", "geocoding unavailable", ""});
  });
}

}  // namespace

void Geocoder::reverseGeocodeLocation(const Location& location, Completion completion) {
  Backend b;
  {
    std::lock_guard lock(backendMutex);
    b = backend;
  }
  if (b) {
    b(location, std::move(completion));
  } else {
    unavailable(location, std::move(completion));
  }
}

void Geocoder::setBackend(Backend b) {
  std::lock_guard lock(backendMutex);
  backend = std::move(b);
}

struct ScriptedGeocoder::State {
  mutable std::mutex mu;
  std::vector<Request> pending;
};

ScriptedGeocoder::ScriptedGeocoder() : state_(std::make_shared<State>()) {
  std::weak_ptr<State> weak = state_;
  Geocoder::setBackend([weak](const Location& location, Geocoder::Completion completion) {
    if (auto s = weak.lock()) {
      std::lock_guard lock(s->mu);
      s->pending.push_back({location, std::move(completion)});
    }
  });
}

ScriptedGeocoder::~ScriptedGeocoder() { Geocoder::setBackend(nullptr); }

std::size_t ScriptedGeocoder::pendingCount() const {
  std::lock_guard lock(state_->mu);
  return state_->pending.size();
}

Location ScriptedGeocoder::pendingLocation(std::size_t index) const {
  std::lock_guard lock(state_->mu);
  return state_->pending.at(index).location;
}

void ScriptedGeocoder::answer(std::size_t index, std::vector<Placemark> placemarks, std::optional<PlatformError> error) {
  Request request;
  {
    std::lock_guard lock(state_->mu);
    if (index >= state_->pending.size()) throw std::out_of_range("no such geocoding request");
    request = std::move(state_->pending[index]);
    state_->pending.erase(state_->pending.begin() + static_cast<std::ptrdiff_t>(index));
  }
  dispatchMain([request = std::move(request), placemarks = std::move(placemarks), error = std::move(error)] {
    request.completion(placemarks, error);
  });
}

}  // namespace qvad
