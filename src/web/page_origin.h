// The origin of a page URL (scheme, host, port) and the names a page may give as its
// reply function. Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvad {

/// "scheme://host:port" with scheme and host in lower case and the scheme's default port
/// filled in; nothing for a URL without a host (about:blank, data:, garbage), whose
/// origin matches no other.
std::optional<std::string> pageOrigin(std::string_view url);

/// Whether two committed pages share an origin; an opaque one shares none.
bool sameOrigin(std::string_view a, std::string_view b);

/// A dotted script identifier: [A-Za-z_$][A-Za-z0-9_$]* parts joined by '.', none empty.
/// Only such a name is called with a reply: anything else would run as page code.
bool isCallbackName(std::string_view name);

}  // namespace qvad
