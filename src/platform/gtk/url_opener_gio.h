// Opening URLs on the desktop: the system's default handler through GIO, for the schemes
// a desktop hands on (web pages, mail, phone and message links) and never for local
// files, scripts or inline data. The application-settings URL has no page on a Linux
// desktop and is refused. Also the desktop's answer about notifications.
#pragma once

#include <string>

#include "platform/toolkit/application.h"

namespace qvad {

/// Whether `url`'s scheme is one the desktop opener hands to the system.
bool isDesktopOpenableURL(const std::string& url);

class GioUrlOpener final : public UrlOpener {
 public:
  /// Launches the default handler; false when the scheme is not allowed or nothing
  /// handles it. Main thread.
  bool open(const std::string& url) override;
};

/// Asks the session bus whether a notification service runs and records the answer in
/// Application::notificationAuthorization() later, on the main loop: authorized when one
/// does (desktop notifications need no permission), denied when there is no session bus
/// or no service. Main thread; needs the GLib main context running.
void queryDesktopNotificationAuthorization();

}  // namespace qvad
