// The host's entry point: one process-wide manager that holds the application key
// and secret and signs every request of the library with them.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace qvad {

class QvInterActiveAdManager {
 public:
  /// The one instance, made on first use (thread-safe) and never destroyed.
  static QvInterActiveAdManager& shared();

  QvInterActiveAdManager(const QvInterActiveAdManager&) = delete;
  QvInterActiveAdManager& operator=(const QvInterActiveAdManager&) = delete;

  /// Key and secret of the last start; absent before any. The secret is only ever
  /// used to sign requests: it is never sent, logged or stored.
  std::optional<std::string> appKey() const;
  std::optional<std::string> appSecret() const;
  /// True after the last init request succeeded.
  bool startSuccess() const;

  /// Device parameters of the init request: idfa, longitude, latitude, os, network,
  /// language. Internal; any thread.
  std::map<std::string, std::string> getStartParams() const;

  /// Internal (tools and tests): replaces key and secret without sending anything.
  void setCredentials(std::optional<std::string> appKey, std::optional<std::string> appSecret);

 private:
  QvInterActiveAdManager() = default;
  void setStartSuccess(bool success);

  mutable std::mutex mu_;
  std::optional<std::string> appKey_;
  std::optional<std::string> appSecret_;
  bool startSuccess_ = false;
};

}  // namespace qvad
