// What the floating ad points at: its animated GIF badge and its landing page.
//
//   GET /assets/badge.gif   the badge (made by qvad-make-badge, compiled in)
//   GET /landing/badge      the landing page opened in the in-app browser
#pragma once

#include <functional>
#include <span>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
}

namespace sandbox {

/// The committed badge GIF's bytes.
std::span<const unsigned char> badgeGif();

/// Gets each asset request first, with the body and type it would get: true when it
/// answered (a queued fault), false to let the asset be served as usual.
using AssetFault = std::function<bool(const httplib::Request&, httplib::Response&, const std::string& body,
                                      const std::string& type)>;

void installFloatingAssets(httplib::Server& svr, AssetFault fault = nullptr);

}  // namespace sandbox
