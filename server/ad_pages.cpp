#include "ad_pages.h"

#include <httplib.h>

#include <string>

namespace sandbox {

namespace {

std::string contentTypeFor(std::string_view name) {
  if (name.ends_with(".html")) return "text/html; charset=utf-8";
  if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
  return "application/octet-stream";
}

}  // namespace

void installAdPages(httplib::Server& server) {
  server.Get(R"(/pages/([A-Za-z0-9_.-]+))", [](const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    std::size_t count = 0;
    const PageFile* files = pageFiles(&count);
    for (std::size_t i = 0; i < count; ++i) {
      if (files[i].name != name) continue;
      // Pages change with the binary; the container empties its cache anyway.
      res.set_header("Cache-Control", "no-store");
      res.set_content(std::string(files[i].contents), contentTypeFor(name));
      return;
    }
    res.status = 404;
    res.set_content("no such page\n", "text/plain");
  });
}

}  // namespace sandbox
