#include "platform/gtk/url_opener_gio.h"

#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "platform/log.h"

namespace qvad {
namespace {

// Schemes with a system handler worth starting; everything else (file:, javascript:,
// data:, custom schemes that could start arbitrary programs) stays in the library.
constexpr std::array<std::string_view, 5> kAllowedSchemes = {"http", "https", "mailto", "tel", "sms"};

std::string lowerScheme(const std::string& url) {
  auto colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return {};
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme;
}

}  // namespace

bool isDesktopOpenableURL(const std::string& url) {
  // Control characters and spaces have no place in a URL handed to another program.
  if (std::any_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f; }))
    return false;
  std::string scheme = lowerScheme(url);
  if (std::find(kAllowedSchemes.begin(), kAllowedSchemes.end(), scheme) == kAllowedSchemes.end()) return false;
  // A web address needs a host: "https:foo" is not one.
  if ((scheme == "http" || scheme == "https") && url.compare(scheme.size(), 3, "://") != 0) return false;
  return true;
}

bool GioUrlOpener::open(const std::string& url) {
  if (url == Application::openSettingsURLString) {
    logLine("Open URL: this desktop has no settings page for the application");
    return false;
  }
  if (!isDesktopOpenableURL(url)) {
    logLine("Open URL: scheme not handed to the desktop");
    return false;
  }
  GError* error = nullptr;
  bool ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
  if (error) {
    logLine(std::string("Open URL failed: ") + error->message);
    g_error_free(error);
  }
  return ok;
}

void queryDesktopNotificationAuthorization() {
  // Without a session bus address GIO would try to start one; there is simply none.
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!address || !*address) {
    Application::shared().setNotificationAuthorization(NotificationAuthorization::denied);
    return;
  }
  g_bus_get(
      G_BUS_TYPE_SESSION, nullptr,
      +[](GObject*, GAsyncResult* result, gpointer) {
        GDBusConnection* bus = g_bus_get_finish(result, nullptr);
        if (!bus) {
          Application::shared().setNotificationAuthorization(NotificationAuthorization::denied);
          return;
        }
        g_dbus_connection_call(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            g_variant_new("(s)", "org.freedesktop.Notifications"), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 1000,
            nullptr,
            +[](GObject* source, GAsyncResult* res, gpointer) {
              GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, nullptr);
              gboolean owned = FALSE;
              if (reply) {
                g_variant_get(reply, "(b)", &owned);
                g_variant_unref(reply);
              }
              Application::shared().setNotificationAuthorization(owned ? NotificationAuthorization::authorized
                                                                       : NotificationAuthorization::denied);
            },
            nullptr);
        g_object_unref(bus);
      },
      nullptr);
}

}  // namespace qvad
