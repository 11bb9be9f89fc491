// Run-time settings of the library. Every setter may be called from any thread;
// settings are read when a request or a file operation starts, so change them
// before QvInterActiveAdManager::start() for a consistent picture.
#pragma once

#include "qvad/export.h"

#include <functional>
#include <string>
#include <string_view>

namespace qvad {

class QVAD_EXPORT QvConfiguration {
 public:
  /// Scheme, host and optional port of the ad platform, without a trailing path.
  /// Default: the QVAD_API_BASE_URL environment variable, else the build-time default.
  static void setApiBaseURL(std::string url);
  static std::string apiBaseURL();

  /// PEM file of extra certificate authorities to trust (the sandbox's own CA).
  /// Default: QVAD_CA_FILE, else empty (the system store only). Verification is never off.
  static void setCAFile(std::string path);
  static std::string caFile();

  /// Time-out of one server request in seconds; values <= 0 restore the default of 30.
  static void setRequestTimeout(double seconds);
  static double requestTimeout();

  /// Directory for the GIF cache. Default: QVAD_DOCUMENTS_DIR, else
  /// $XDG_DATA_HOME/qvad/Documents (~/.local/share/qvad/Documents).
  static void setDocumentsDirectory(std::string path);
  static std::string documentsDirectory();

  /// Directory of the stand-in operating-system state (user defaults, advertising
  /// identifier). Default: QVAD_DATA_DIR, else $XDG_DATA_HOME/qvad.
  static void setDataDirectory(std::string path);
  static std::string dataDirectory();

  /// The user's choice to limit ad tracking: while limited, every request carries an
  /// empty advertising identifier. Kept in the identifier file of the data directory,
  /// so it holds in later runs; requests built after the call follow it (the file is
  /// written in the background). limitAdTracking() answers what requests carry: it is
  /// also true while that file cannot be read, since it may hold an earlier opt-out.
  static void setLimitAdTracking(bool limited);
  static bool limitAdTracking();

  /// Receives every console line of the library, without the trailing newline, on
  /// whatever thread wrote it. An empty function restores the default (standard output).
  using LogSink = std::function<void(std::string_view line)>;
  static void setLogSink(LogSink sink);
};

}  // namespace qvad
