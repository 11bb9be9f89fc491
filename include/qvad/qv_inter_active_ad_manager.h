// The host's entry point: one process-wide manager that holds the application key
// and secret and signs every request of the library with them.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "qvad/qv_error.h"

namespace qvad {

/// Outcome of start-up: no error on success. Runs on the main thread.
using QvStartCompletion = std::function<void(std::optional<QvError> error)>;

class QvInterActiveAdManager {
 public:
  /// The one instance, made on first use (thread-safe) and never destroyed.
  static QvInterActiveAdManager& shared();

  QvInterActiveAdManager(const QvInterActiveAdManager&) = delete;
  QvInterActiveAdManager& operator=(const QvInterActiveAdManager&) = delete;

  /// Stores key and secret (replacing earlier ones; not validated) and sends the init
  /// request. May be called on any thread, any number of times; returns at once.
  /// `complete`, when given, runs later on the main thread with no error when the
  /// server accepted the start, else with the server's or the network's code and text.
  /// It is never called when the reply is not a JSON envelope at all.
  void start(std::string appKey, std::string appSecret, QvStartCompletion complete = nullptr);

  /// Internal: sends one init request with the stored credentials; its reply sets
  /// startSuccess (on the main thread) and then calls `complete` as start() does.
  void requestStart(QvStartCompletion complete = nullptr);

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
