// A geocoding backend for tests: keeps requests until the test answers them. In place
// for the life of the object, then the previous backend is back.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/location.h"
#include "platform/main_queue.h"
#include "platform/service_slot.h"

namespace qvad::testing {

class ScriptedGeocoder {
 public:
  ScriptedGeocoder() : backend_(std::make_shared<Backend>()), override_(GeocoderBackend::slot(), backend_) {}

  std::size_t pendingCount() const {
    std::lock_guard lock(backend_->mu);
    return backend_->pending.size();
  }
  Location pendingLocation(std::size_t index) const {
    std::lock_guard lock(backend_->mu);
    return backend_->pending.at(index).location;
  }
  /// Answers request `index` (posted to the main queue) and removes it.
  void answer(std::size_t index, std::vector<Placemark> placemarks, std::optional<PlatformError> error = std::nullopt) {
    Request request;
    {
      std::lock_guard lock(backend_->mu);
      if (index >= backend_->pending.size()) throw std::out_of_range("no such geocoding request");
      request = std::move(backend_->pending[index]);
      backend_->pending.erase(backend_->pending.begin() + static_cast<std::ptrdiff_t>(index));
    }
    dispatchMain([request = std::move(request), placemarks = std::move(placemarks), error = std::move(error)] {
      request.completion(placemarks, error);
    });
  }

 private:
  struct Request {
    Location location;
    Geocoder::Completion completion;
  };
  struct Backend final : GeocoderBackend {
    void reverseGeocode(const Location& location, Geocoder::Completion completion) override {
      std::lock_guard lock(mu);
      pending.push_back({location, std::move(completion)});
    }
    mutable std::mutex mu;
    std::vector<Request> pending;
  };

  std::shared_ptr<Backend> backend_;
  ScopedServiceOverride<GeocoderBackend> override_;
};

}  // namespace qvad::testing
