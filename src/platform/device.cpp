#include "platform/device.h"

#include <sys/utsname.h>

#include <mutex>

#include "platform/file_util.h"
#include "platform/text_encoding.h"

namespace qvad {
namespace {

std::mutex mu;
std::optional<std::string> overridden;
std::optional<UserInterfaceIdiom> overriddenIdiom;

std::string osReleaseVersion() {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    auto text = readFile(path, 64 * 1024);
    if (!text) continue;
    std::size_t pos = 0;
    while (pos < text->size()) {
      auto end = text->find('\n', pos);
      std::string line = text->substr(pos, end == std::string::npos ? std::string::npos : end - pos);
      pos = end == std::string::npos ? text->size() : end + 1;
      if (line.rfind("VERSION_ID=", 0) != 0) continue;
      std::string v = line.substr(11);
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
      if (!v.empty()) return makeValidUTF8(v);
    }
  }
  struct utsname u {};
  if (uname(&u) == 0) return makeValidUTF8(u.release);
  return "";
}

}  // namespace

std::string Device::systemVersion() {
  static const std::string probed = osReleaseVersion();
  std::lock_guard lock(mu);
  return overridden ? *overridden : probed;
}

void Device::overrideSystemVersion(std::optional<std::string> version) {
  std::lock_guard lock(mu);
  overridden = std::move(version);
}

UserInterfaceIdiom Device::userInterfaceIdiom() {
  std::lock_guard lock(mu);
  return overriddenIdiom.value_or(UserInterfaceIdiom::phone);
}

void Device::overrideUserInterfaceIdiom(std::optional<UserInterfaceIdiom> idiom) {
  std::lock_guard lock(mu);
  overriddenIdiom = idiom;
}

}  // namespace qvad
