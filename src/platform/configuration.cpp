#include "qvad/configuration.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

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

}  // namespace

void QvConfiguration::setApiBaseURL(std::string url) {
  std::lock_guard lock(settings().mu);
  settings().apiBaseURL = stripTrailingSlashes(std::move(url));
}

std::string QvConfiguration::apiBaseURL() {
  {
    std::lock_guard lock(settings().mu);
    if (!settings().apiBaseURL.empty()) return settings().apiBaseURL;
  }
  std::string e = stripTrailingSlashes(env("QVAD_API_BASE_URL"));
  return e.empty() ? std::string(QVAD_DEFAULT_API_BASE_URL) : e;
}

void QvConfiguration::setCAFile(std::string path) {
  std::lock_guard lock(settings().mu);
  settings().caFile = std::move(path);
}

std::string QvConfiguration::caFile() {
  {
    std::lock_guard lock(settings().mu);
    if (!settings().caFile.empty()) return settings().caFile;
  }
  return env("QVAD_CA_FILE");
}

void QvConfiguration::setRequestTimeout(double seconds) {
  std::lock_guard lock(settings().mu);
  settings().timeout = seconds > 0 ? seconds : 0;
}

double QvConfiguration::requestTimeout() {
  std::lock_guard lock(settings().mu);
  return settings().timeout > 0 ? settings().timeout : 30.0;
}

void QvConfiguration::setDocumentsDirectory(std::string path) {
  std::lock_guard lock(settings().mu);
  settings().documentsDirectory = stripTrailingSlashes(std::move(path));
}

std::string QvConfiguration::documentsDirectory() {
  {
    std::lock_guard lock(settings().mu);
    if (!settings().documentsDirectory.empty()) return settings().documentsDirectory;
  }
  std::string e = stripTrailingSlashes(env("QVAD_DOCUMENTS_DIR"));
  return e.empty() ? dataDirectory() + "/Documents" : e;
}

void QvConfiguration::setDataDirectory(std::string path) {
  std::lock_guard lock(settings().mu);
  settings().dataDirectory = stripTrailingSlashes(std::move(path));
}

std::string QvConfiguration::dataDirectory() {
  {
    std::lock_guard lock(settings().mu);
    if (!settings().dataDirectory.empty()) return settings().dataDirectory;
  }
  std::string e = stripTrailingSlashes(env("QVAD_DATA_DIR"));
  return e.empty() ? xdgDataHome() + "/qvad" : e;
}

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
