// The library's console: one line per call, routed through the host's sink.
#pragma once

#include <string_view>

namespace qvad {

void logLine(std::string_view line);

}  // namespace qvad
