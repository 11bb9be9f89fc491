// The ad platform's two endpoints, relative to the configured base URL.
#pragma once

#include <string>

#include "qvad/configuration.h"

namespace qvad {

inline constexpr const char* kInitPath = "/api/ig/sdk/init";
inline constexpr const char* kQueryPath = "/api/ig/sdk/query";

inline std::string initEndpoint() { return QvConfiguration::apiBaseURL() + kInitPath; }
inline std::string queryEndpoint() { return QvConfiguration::apiBaseURL() + kQueryPath; }

}  // namespace qvad
