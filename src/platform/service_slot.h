// The one way a platform service (main queue, HTTP session, clock, random source,
// reachability, geocoder, URL opener) gets its backend. A backend is chosen explicitly:
// installed at start-up, before first use, or else the build's default is made by the
// slot's factory at first use. Installing once the service is in use would leave earlier
// users on the old backend, so it stops the process with a message naming the service.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/fatal.h"

namespace qvad {

template <class T>
class ScopedServiceOverride;

template <class T>
class ServiceSlot {
 public:
  using Factory = std::shared_ptr<T> (*)();

  /// `name` appears in the programming-error messages; `makeDefault` makes the build's
  /// default backend, under the slot's lock (it must not use this slot).
  ServiceSlot(const char* name, Factory makeDefault) : name_(name), makeDefault_(makeDefault) {}
  ServiceSlot(const ServiceSlot&) = delete;
  ServiceSlot& operator=(const ServiceSlot&) = delete;

  /// Installs `service` as the backend. Allowed only before first use; an empty pointer
  /// or a late install is a programming error. Thread-safe.
  void install(std::shared_ptr<T> service) {
    if (!service) fatalError(std::string("cannot install an empty ") + name_);
    std::lock_guard lock(mu_);
    if (used_) {
      fatalError(std::string(name_) +
                 " installed after first use; install platform services at start-up, before the library runs");
    }
    service_ = std::move(service);
  }

  /// The backend in use; the default is made and installed when none was. Thread-safe.
  std::shared_ptr<T> get() {
    std::lock_guard lock(mu_);
    used_ = true;
    if (!service_) service_ = makeDefault_();
    return service_;
  }

  /// Whether the service has been used (or overridden) already.
  bool used() const {
    std::lock_guard lock(mu_);
    return used_;
  }

  const char* name() const { return name_; }

 private:
  friend class ScopedServiceOverride<T>;

  std::shared_ptr<T> exchange(std::shared_ptr<T> service) {
    std::lock_guard lock(mu_);
    used_ = true;
    std::swap(service_, service);
    return service;
  }

  const char* name_;
  Factory makeDefault_;
  mutable std::mutex mu_;
  std::shared_ptr<T> service_;  // guarded by mu_
  bool used_ = false;           // guarded by mu_
};

/// For tests: puts `service` in the slot for the life of the object, then puts back
/// what was there before (nothing, when the default had not been made: the next use
/// makes it). Overrides nest. Swap only while no other thread uses the service.
template <class T>
class ScopedServiceOverride {
 public:
  ScopedServiceOverride(ServiceSlot<T>& slot, std::shared_ptr<T> service)
      : slot_(slot), previous_(slot.exchange(std::move(service))) {}
  ~ScopedServiceOverride() {
    // The override is released here, outside the slot's lock: it may join a thread.
    auto mine = slot_.exchange(std::move(previous_));
  }
  ScopedServiceOverride(const ScopedServiceOverride&) = delete;
  ScopedServiceOverride& operator=(const ScopedServiceOverride&) = delete;

 private:
  ServiceSlot<T>& slot_;
  std::shared_ptr<T> previous_;
};

}  // namespace qvad
