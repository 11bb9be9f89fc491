// An error of a platform service: a numeric code in a domain, with a text for
// people (localized description) and one for developers (debug description).
#pragma once

#include <string>

namespace qvad {

struct PlatformError {
  long code = 0;
  std::string domain;
  std::string localizedDescription;
  std::string debugDescription;  // falls back to the localized one when empty

  const std::string& debugText() const { return debugDescription.empty() ? localizedDescription : debugDescription; }
};

}  // namespace qvad
