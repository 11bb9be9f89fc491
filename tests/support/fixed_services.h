// Fixes the platform clock and random source for one test, and restores them after.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/clock.h"

namespace qvad::testing {

class FixedServices {
 public:
  FixedServices(double seconds, std::uint32_t random) {
    Clock::install(std::make_shared<FixedClock>(seconds));
    RandomSource::install(std::make_shared<FixedRandom>(random));
  }
  ~FixedServices() {
    Clock::install(nullptr);
    RandomSource::install(nullptr);
  }
};

}  // namespace qvad::testing
