// Programming errors the library names stop the process with the library's own message,
// as the platform's fatal error does. Never used for bad input from outside.
#pragma once

#include <string_view>

namespace qvad {

/// Writes `message` to standard error and aborts. Never returns.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace qvad
