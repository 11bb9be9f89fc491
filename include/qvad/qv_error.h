// The error record handed to the host in completions and delegate calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qvad {

/// Made only by the library, always with both fields set. Codes: negative transport
/// codes of the network layer (-1001 time-out, -1004 cannot connect, -1202 untrusted
/// certificate, ...), -1000 "connect_error" for a reply without a usable envelope,
/// -999 "nokey_error", and the ad platform's own non-zero codes with its "msg".
class QvError {
 public:
  QvError(std::int64_t errorCode, std::string errorDescription)
      : errorCode(errorCode), errorDescription(std::move(errorDescription)) {}

  std::optional<std::int64_t> errorCode;
  std::optional<std::string> errorDescription;
};

}  // namespace qvad
