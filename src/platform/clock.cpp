#include "platform/clock.h"

#include <sys/random.h>

#include <array>
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>

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

std::mutex& servicesMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<const Clock>& clockSlot() {
  static std::shared_ptr<const Clock> c = std::make_shared<SystemClock>();
  return c;
}

std::shared_ptr<RandomSource>& randomSlot() {
  static std::shared_ptr<RandomSource> r = std::make_shared<SystemRandom>();
  return r;
}

}  // namespace

std::shared_ptr<const Clock> Clock::current() {
  std::lock_guard lock(servicesMutex());
  return clockSlot();
}

void Clock::install(std::shared_ptr<const Clock> clock) {
  std::lock_guard lock(servicesMutex());
  clockSlot() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

std::shared_ptr<RandomSource> RandomSource::current() {
  std::lock_guard lock(servicesMutex());
  return randomSlot();
}

RandomSource& RandomSource::system() {
  static SystemRandom* r = new SystemRandom;
  return *r;
}

void RandomSource::install(std::shared_ptr<RandomSource> source) {
  std::lock_guard lock(servicesMutex());
  randomSlot() = source ? std::move(source) : std::make_shared<SystemRandom>();
}

}  // namespace qvad
