#include "platform/resources.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace qvad {
namespace resources_detail {
struct EmbeddedResource {
  const char* name;
  const unsigned char* bytes;
  std::size_t size;
};
extern const EmbeddedResource kEmbeddedResources[];
}  // namespace resources_detail

namespace {

std::span<const unsigned char> lookup(const std::string& file) {
  for (const auto* r = resources_detail::kEmbeddedResources; r->name; ++r) {
    if (file == r->name) return {r->bytes, r->size};
  }
  return {};
}

}  // namespace

std::span<const unsigned char> Resources::data(std::string_view name, std::string_view type) {
  std::string file(name);
  if (!type.empty()) file += "." + std::string(type);
  return lookup(file);
}

std::shared_ptr<const Image> Resources::image(std::string_view name, std::string_view type) {
  static std::mutex mu;
  static std::map<std::string, std::shared_ptr<const Image>> cache;
  std::string key = std::string(name) + "." + std::string(type);
  std::lock_guard lock(mu);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  std::shared_ptr<const Image> image;
  if (auto hi = data(std::string(name) + "@2x", type); !hi.empty()) {
    image = Image::fromPng(hi, 2);
  } else if (auto plain = data(name, type); !plain.empty()) {
    image = Image::fromPng(plain, 1);
  }
  cache.emplace(key, image);  // misses are remembered too
  return image;
}

}  // namespace qvad
