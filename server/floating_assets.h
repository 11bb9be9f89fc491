// What the floating ad points at: its animated GIF badge and its landing page.
//
//   GET /assets/badge.gif   the badge (made by qvad-make-badge, compiled in)
//   GET /landing/badge      the landing page opened in the in-app browser
#pragma once

#include <span>

namespace httplib {
class Server;
}

namespace sandbox {

/// The committed badge GIF's bytes.
std::span<const unsigned char> badgeGif();

void installFloatingAssets(httplib::Server& svr);

}  // namespace sandbox
