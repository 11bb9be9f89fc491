#include "floating_assets.h"

#include <httplib.h>

namespace sandbox {

// Generated from server/assets/badge.gif by server/CMakeLists.txt.
extern const unsigned char kBadgeGif[];
extern const std::size_t kBadgeGifSize;

std::span<const unsigned char> badgeGif() { return {kBadgeGif, kBadgeGifSize}; }

namespace {

const char* const kLandingPage = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>qvad sandbox: badge landing page</title>
<style>
  body { font-family: sans-serif; margin: 0; padding: 32px 20px; background: #f4f6fb; color: #1d2333; }
  h1 { font-size: 24px; margin: 0 0 12px; }
  p { line-height: 1.5; }
  .cta { display: inline-block; margin-top: 16px; padding: 12px 20px; border-radius: 8px;
         background: #2a6df4; color: #fff; text-decoration: none; }
</style>
</head>
<body>
<h1>Thanks for tapping the badge</h1>
<p>This is the landing page of the sandbox's floating ad. A real campaign would show its
offer here; the sandbox only counts the impression and the click.</p>
<a class="cta" href="#">Nothing to buy</a>
</body>
</html>
)";

}  // namespace

void installFloatingAssets(httplib::Server& svr, AssetFault fault) {
  svr.Get("/assets/badge.gif", [fault](const httplib::Request& req, httplib::Response& res) {
    auto gif = badgeGif();
    const std::string body(reinterpret_cast<const char*>(gif.data()), gif.size());
    if (fault && fault(req, res, body, "image/gif")) return;
    res.set_content(body, "image/gif");
  });
  svr.Get("/landing/badge", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kLandingPage, "text/html; charset=utf-8");
  });
}

}  // namespace sandbox
