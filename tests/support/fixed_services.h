// Fixes the platform clock and random source for one test, and restores them after.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/clock.h"
#include "platform/service_slot.h"

namespace qvad::testing {

class FixedServices {
 public:
  FixedServices(double seconds, std::uint32_t random)
      : clock_(Clock::slot(), std::make_shared<FixedClock>(seconds)),
        random_(RandomSource::slot(), std::make_shared<FixedRandom>(random)) {}

 private:
  ScopedServiceOverride<const Clock> clock_;
  ScopedServiceOverride<RandomSource> random_;
};

}  // namespace qvad::testing
