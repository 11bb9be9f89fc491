// The manager's state and what only the library calls: the stored credentials, the
// start-up flag, the init request and its device parameters. All of it may be used on
// any thread; the three fields sit under one lock.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "qvad/qv_inter_active_ad_manager.h"

namespace qvad::managerInternal {

/// Key and secret of the last start; absent before any. The secret only signs.
std::optional<std::string> appKey();
std::optional<std::string> appSecret();
/// True after the last init reply succeeded.
bool startSuccess();

/// Replaces key and secret without sending anything (tools and tests).
void setCredentials(std::optional<std::string> appKey, std::optional<std::string> appSecret);

/// Sends one init request with the stored credentials; its reply sets startSuccess
/// (on the main thread) and then calls `complete` as start() does.
void requestStart(QvStartCompletion complete = nullptr);

/// Device parameters of the init request: idfa, longitude, latitude, os, network, language.
std::map<std::string, std::string> getStartParams();

}  // namespace qvad::managerInternal
