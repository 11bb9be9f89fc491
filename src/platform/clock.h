// Wall clock and random source of the platform. Tools install fixed ones at start-up
// and tests override them, to fix the per-request nonce and timestamp.
#pragma once

#include <cstdint>
#include <memory>

namespace qvad {

template <class T>
class ServiceSlot;

class Clock {
 public:
  virtual ~Clock() = default;
  /// Seconds since 1970-01-01 00:00 UTC, with fraction.
  virtual double secondsSince1970() const = 0;

  /// The installed clock (the system clock unless another was installed). Thread-safe.
  static std::shared_ptr<const Clock> current();
  static ServiceSlot<const Clock>& slot();
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

  /// The installed source (the kernel's CSPRNG unless another was installed). Thread-safe.
  static std::shared_ptr<RandomSource> current();
  static ServiceSlot<RandomSource>& slot();
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
