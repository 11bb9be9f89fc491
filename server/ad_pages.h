// The ad pages the sandbox serves under /pages/: the reward video page, the
// interstitial page, their shared bridge script and a landing page. The files live in
// server/pages/ and are compiled into the binary.
#pragma once

#include <string_view>

namespace httplib {
class Server;
}

namespace sandbox {

struct PageFile {
  std::string_view name;  // e.g. "reward.html"
  std::string_view contents;
};

/// Every page file, in name order.
const PageFile* pageFiles(std::size_t* count);

/// Serves GET /pages/<name> for each page file; other names under /pages/ are 404.
void installAdPages(httplib::Server& server);

}  // namespace sandbox
