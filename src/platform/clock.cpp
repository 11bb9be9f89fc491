#include "platform/clock.h"

#include <sys/random.h>

#include <array>
#include <chrono>
#include <cstring>
#include <random>

#include "platform/service_slot.h"

namespace qvad {
namespace {

class SystemClock final : public Clock {
 public:
  double secondsSince1970() const override {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
  }
};

// Draws from getrandom() in blocks so a request costs no system call most of the time.
class SystemRandom final : public RandomSource {
 public:
  std::uint32_t next() override {
    thread_local std::array<std::uint32_t, 64> block;
    thread_local std::size_t used = block.size();
    if (used == block.size()) {
      std::size_t got = 0;
      auto* bytes = reinterpret_cast<unsigned char*>(block.data());
      while (got < sizeof(block)) {
        ssize_t n = getrandom(bytes + got, sizeof(block) - got, 0);
        if (n <= 0) {
          // No kernel entropy interface: fall back to the standard library's device.
          std::random_device rd;
          for (auto& v : block) v = rd();
          break;
        }
        got += static_cast<std::size_t>(n);
      }
      used = 0;
    }
    return block[used++];
  }
};

std::shared_ptr<const Clock> makeSystemClock() { return std::make_shared<SystemClock>(); }
std::shared_ptr<RandomSource> makeSystemRandom() { return std::make_shared<SystemRandom>(); }

}  // namespace

// The slots are never destroyed: worker threads may still ask while the process exits.

ServiceSlot<const Clock>& Clock::slot() {
  static auto* slot = new ServiceSlot<const Clock>("clock", makeSystemClock);
  return *slot;
}

std::shared_ptr<const Clock> Clock::current() { return slot().get(); }

ServiceSlot<RandomSource>& RandomSource::slot() {
  static auto* slot = new ServiceSlot<RandomSource>("random source", makeSystemRandom);
  return *slot;
}

std::shared_ptr<RandomSource> RandomSource::current() { return slot().get(); }

RandomSource& RandomSource::system() {
  static SystemRandom* r = new SystemRandom;
  return *r;
}

}  // namespace qvad
