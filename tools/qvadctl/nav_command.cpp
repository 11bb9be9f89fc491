// qvadctl nav: the web ad container's navigation policy on one navigation action.
#include <cmath>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "web/navigation_policy.h"

namespace qvadctl {

const char* const kNavUsage =
    "usage: qvadctl nav URL [--link] [--link-new-window] [--os-opens yes|no]\n"
    "\n"
    "Runs the web ad container's navigation policy on a navigation to URL and prints\n"
    "  {\"decision\":\"allow\"|\"cancel\",\"effect\":\"none\"|\"browser\"|\"container\"|\"store\"|\"close\"|\"os\"}\n"
    "with \"storeId\" added for the store sheet.\n"
    "\n"
    "  --link              the navigation is a link the user activated\n"
    "  --link-new-window   the page asked for links outside it (page configuration)\n"
    "  --os-opens yes|no   whether the operating system takes a URL handed to it (default yes)\n";

namespace {

int usageError(const std::string& message) {
  std::fprintf(stderr, "qvadctl nav: %s\nTry 'qvadctl nav --help'.\n", message.c_str());
  return 2;
}

const char* effectName(qvad::NavigationEffect e) {
  switch (e) {
    case qvad::NavigationEffect::none: return "none";
    case qvad::NavigationEffect::browser: return "browser";
    case qvad::NavigationEffect::container: return "container";
    case qvad::NavigationEffect::store: return "store";
    case qvad::NavigationEffect::close: return "close";
    case qvad::NavigationEffect::os: return "os";
  }
  return "none";
}

}  // namespace

int navCommand(const Args& args) {
  qvad::NavigationQuestion q;
  bool osOpens = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--link") {
      q.linkActivated = true;
    } else if (a == "--link-new-window") {
      q.linkNewWindow = true;
    } else if (a == "--os-opens") {
      if (i + 1 >= args.size()) return usageError("missing value for --os-opens");
      const std::string& v = args[++i];
      if (v != "yes" && v != "no") return usageError("--os-opens takes yes or no, not " + v);
      osOpens = v == "yes";
    } else if (a.starts_with("--")) {
      return usageError("unknown option: " + a);
    } else if (q.url) {
      return usageError("expected one URL");
    } else {
      q.url = a;
    }
  }
  if (!q.url) return usageError("expected one URL");

  const auto d = qvad::decideNavigation(q, [osOpens](const std::string&) { return osOpens; });
  nlohmann::ordered_json out = {{"decision", d.policy == qvad::NavigationActionPolicy::allow ? "allow" : "cancel"},
                                {"effect", effectName(d.effect)}};
  if (d.storeId) {
    // Item ids are whole numbers in practice; print them without a fraction.
    double id = *d.storeId;
    if (std::trunc(id) == id && std::fabs(id) < 9.0e15)
      out["storeId"] = static_cast<long long>(id);
    else
      out["storeId"] = id;
  }
  std::puts(out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
  return 0;
}

}  // namespace qvadctl
