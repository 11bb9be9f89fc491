// Stores kept in a file of the data directory: one instance per directory, made
// anew when the configured directory changes (tests and tools point it elsewhere).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "qvad/configuration.h"

namespace qvad {

/// The instance of T for `fileName` in the configured data directory; `made` runs
/// once on each new instance.
template <class T, class OnMade>
std::shared_ptr<T> dataDirectoryStore(const char* fileName, OnMade made) {
  static std::mutex mu;
  static std::shared_ptr<T> current;
  static std::string currentPath;
  std::string path = QvConfiguration::dataDirectory() + "/" + fileName;
  std::lock_guard lock(mu);
  if (!current || currentPath != path) {
    current = std::make_shared<T>(path);
    currentPath = std::move(path);
    made(*current);
  }
  return current;
}

}  // namespace qvad
