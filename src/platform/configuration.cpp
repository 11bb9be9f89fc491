#include "qvad/configuration.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/advertising_identifier.h"
#include "platform/dispatch.h"
#include "platform/log.h"

#ifndef QVAD_DEFAULT_API_BASE_URL
#define QVAD_DEFAULT_API_BASE_URL "https://127.0.0.1:8443"
#endif

namespace qvad {
namespace {

struct Settings {
  std::mutex mu;
  std::string apiBaseURL;
  std::string caFile;
  double timeout = 0;
  std::string documentsDirectory;
  std::string dataDirectory;
  QvConfiguration::LogSink sink;
};

Settings& settings() {
  static Settings* s = new Settings;  // never destroyed: read by threads at exit
  return *s;
}

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string stripTrailingSlashes(std::string s) {
  while (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

std::string xdgDataHome() {
  std::string d = env("XDG_DATA_HOME");
  if (!d.empty() && d.front() == '/') return d;
  std::string home = env("HOME");
  if (home.empty()) home = "/tmp";
  return home + "/.local/share";
}

// A text setting: what the host set, else the environment variable, else empty.
std::string setOrEnv(std::string Settings::*field, const char* envName) {
  {
    std::lock_guard lock(settings().mu);
    if (!(settings().*field).empty()) return settings().*field;
  }
  return stripTrailingSlashes(env(envName));
}

void setText(std::string Settings::*field, std::string value) {
  std::lock_guard lock(settings().mu);
  settings().*field = std::move(value);
}

}  // namespace

void QvConfiguration::setApiBaseURL(std::string url) { setText(&Settings::apiBaseURL, stripTrailingSlashes(std::move(url))); }

std::string QvConfiguration::apiBaseURL() {
  std::string url = setOrEnv(&Settings::apiBaseURL, "QVAD_API_BASE_URL");
  return url.empty() ? std::string(QVAD_DEFAULT_API_BASE_URL) : url;
}

void QvConfiguration::setCAFile(std::string path) { setText(&Settings::caFile, std::move(path)); }

std::string QvConfiguration::caFile() { return setOrEnv(&Settings::caFile, "QVAD_CA_FILE"); }

void QvConfiguration::setRequestTimeout(double seconds) {
  std::lock_guard lock(settings().mu);
  settings().timeout = seconds > 0 ? seconds : 0;
}

double QvConfiguration::requestTimeout() {
  std::lock_guard lock(settings().mu);
  return settings().timeout > 0 ? settings().timeout : 30.0;
}

void QvConfiguration::setDocumentsDirectory(std::string path) {
  setText(&Settings::documentsDirectory, stripTrailingSlashes(std::move(path)));
}

std::string QvConfiguration::documentsDirectory() {
  std::string dir = setOrEnv(&Settings::documentsDirectory, "QVAD_DOCUMENTS_DIR");
  return dir.empty() ? dataDirectory() + "/Documents" : dir;
}

void QvConfiguration::setDataDirectory(std::string path) {
  setText(&Settings::dataDirectory, stripTrailingSlashes(std::move(path)));
}

std::string QvConfiguration::dataDirectory() {
  std::string dir = setOrEnv(&Settings::dataDirectory, "QVAD_DATA_DIR");
  return dir.empty() ? xdgDataHome() + "/qvad" : dir;
}

void QvConfiguration::setLimitAdTracking(bool limited) {
  auto ids = AdvertisingIdentifier::shared();
  ids->applyLimitTracking(limited);
  // The write ends in an fsync, which may take longer than a frame: a host may well
  // call this from its main thread.
  GlobalQueue::async([ids] { ids->writeFile(); });
}

bool QvConfiguration::limitAdTracking() { return AdvertisingIdentifier::shared()->identifierForTracking().empty(); }

void QvConfiguration::setLogSink(LogSink sink) {
  std::lock_guard lock(settings().mu);
  settings().sink = std::move(sink);
}

void logLine(std::string_view line) {
  QvConfiguration::LogSink sink;
  {
    std::lock_guard lock(settings().mu);
    sink = settings().sink;
  }
  if (sink) {
    sink(line);
    return;
  }
  // One fwrite per line keeps lines from different threads whole.
  std::string out(line);
  out.push_back('\n');
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

}  // namespace qvad
