// qvadctl page: the web ad container's page options as the library reads them from a URL.
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "web/web_container_options.h"

namespace qvadctl {

const char* const kPageUsage =
    "usage: qvadctl page URL\n"
    "\n"
    "Prints the page options the web ad container reads from URL, as one JSON line:\n"
    "  {\"container\":true,\"url\":\"...\"|null,\"fullscreen\":b,\"showTitleBar\":b,\n"
    "   \"pageStatusBarLight\":b,\"showStatusBar\":b,\"showProgressBar\":b}\n"
    "or {\"container\":false} when URL does not begin with tavro://webview? (the\n"
    "container would then show URL itself as the page, with default options).\n";

int pageCommand(const Args& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "qvadctl page: expected one URL\nTry 'qvadctl page --help'.\n");
    return 2;
  }
  nlohmann::ordered_json out;
  if (auto o = qvad::parseContainerURL(args[0])) {
    out = {{"container", true},
           {"url", o->url ? nlohmann::ordered_json(*o->url) : nlohmann::ordered_json(nullptr)},
           {"fullscreen", o->fullscreen},
           {"showTitleBar", o->showTitleBar},
           {"pageStatusBarLight", o->pageStatusBarLight},
           {"showStatusBar", o->showStatusBar},
           {"showProgressBar", o->showProgressBar}};
  } else {
    out = {{"container", false}};
  }
  std::puts(out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
  return 0;
}

}  // namespace qvadctl
