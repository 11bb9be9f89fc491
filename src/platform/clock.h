// Wall clock and random source of the platform, swappable so that tests and tools
// can fix the per-request nonce and timestamp.
#pragma once

#include <cstdint>
#include <memory>

namespace qvad {

class Clock {
 public:
  virtual ~Clock() = default;
  /// Seconds since 1970-01-01 00:00 UTC, with fraction.
  virtual double secondsSince1970() const = 0;

  /// The installed clock (the system clock unless replaced). Thread-safe.
  static std::shared_ptr<const Clock> current();
  /// Installs `clock`; nullptr restores the system clock.
  static void install(std::shared_ptr<const Clock> clock);
};

/// A clock that always answers the same instant.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(double seconds) : seconds_(seconds) {}
  double secondsSince1970() const override { return seconds_; }

 private:
  double seconds_;
};

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  /// A uniformly distributed 32-bit value.
  virtual std::uint32_t next() = 0;

  /// The installed source (the kernel's CSPRNG unless replaced). Thread-safe.
  static std::shared_ptr<RandomSource> current();
  static void install(std::shared_ptr<RandomSource> source);
  /// The kernel's CSPRNG, whatever is installed: for values that must never be fixed.
  static RandomSource& system();
};

/// Answers the same value every time.
class FixedRandom final : public RandomSource {
 public:
  explicit FixedRandom(std::uint32_t value) : value_(value) {}
  std::uint32_t next() override { return value_; }

 private:
  std::uint32_t value_;
};

}  // namespace qvad
