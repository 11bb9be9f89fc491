// Collects the library's console lines for the life of the object.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "qvad/configuration.h"

namespace qvad::testing {

class LogCapture {
 public:
  LogCapture() {
    QvConfiguration::setLogSink([this](std::string_view line) {
      std::lock_guard lock(mu_);
      lines_.emplace_back(line);
    });
  }
  ~LogCapture() { QvConfiguration::setLogSink(nullptr); }

  std::vector<std::string> lines() const {
    std::lock_guard lock(mu_);
    return lines_;
  }
  bool contains(const std::string& needle) const { return count(needle) > 0; }
  // Lines holding `needle`.
  long count(const std::string& needle) const {
    std::lock_guard lock(mu_);
    long n = 0;
    for (const auto& l : lines_) n += l.find(needle) != std::string::npos;
    return n;
  }

 private:
  mutable std::mutex mu_;
  std::vector<std::string> lines_;
};

}  // namespace qvad::testing
