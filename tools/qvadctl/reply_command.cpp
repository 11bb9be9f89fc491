// qvadctl reply: runs the request manager's completion logic on a reply body and
// prints what the callbacks would receive, as one JSON line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "net/ad_model.h"
#include "net/empty_result.h"
#include "net/request_manager.h"
#include "qvad/configuration.h"

namespace qvadctl {

const char* const kReplyUsage =
    "usage: qvadctl reply [--model empty|ad] [FILE]\n"
    "\n"
    "Reads a reply body from FILE (or standard input, also for -) as raw bytes and runs the request\n"
    "manager's own completion logic on it, as for an HTTP 200 reply. Prints one line:\n"
    "  {\"outcome\":\"success\"}                              (--model empty)\n"
    "  {\"outcome\":\"success\",\"ad\":{\"imageUrl\":...,\"landingUrl\":...,\n"
    "   \"reportImplUrl\":...,\"reportClickUrl\":...}}          (--model ad; absent fields null)\n"
    "  {\"outcome\":\"failure\",\"code\":N,\"msg\":\"...\"}\n"
    "  {\"outcome\":\"none\"}                                 (no callback: not JSON)\n"
    "\n"
    "  --model empty   the init request's result type (default)\n"
    "  --model ad      the query requests' result type, AdModel\n"
    "\n"
    "A body over the library's reply cap gives the library's outcome for it (code -1103).\n"
    "The library's console line for the body goes to standard error.\n";

namespace {

int usageError(const std::string& message) { return qvadctl::reportUsageError("reply", message); }

// Reads at most `cap` + 1 bytes, enough to tell a body over the cap; the rest of a
// huge input is never held.
bool readCapped(int fd, std::size_t cap, std::string& out, std::string& error) {
  char buf[65536];
  while (out.size() <= cap) {
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, cap + 1 - out.size()));
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

nlohmann::ordered_json text(const std::optional<std::string>& s) { return s ? nlohmann::ordered_json(*s) : nlohmann::ordered_json(nullptr); }

template <class T>
nlohmann::ordered_json outcomeJSON(const qvad::ReplyOutcome<T>& o, nlohmann::ordered_json (*success)(const T&)) {
  using Kind = typename qvad::ReplyOutcome<T>::Kind;
  switch (o.kind) {
    case Kind::none:
      return {{"outcome", "none"}};
    case Kind::failure:
      return {{"outcome", "failure"}, {"code", o.code}, {"msg", o.msg}};
    case Kind::success:
      break;
  }
  return success(*o.value);
}

}  // namespace

int replyCommand(const Args& args) {
  std::string model = "empty";
  std::optional<std::string> file;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--model") {
      if (i + 1 >= args.size()) return usageError("missing value for --model");
      model = args[++i];
      if (model != "empty" && model != "ad") return usageError("the model is 'empty' or 'ad': " + model);
    } else if (a.size() > 1 && a[0] == '-') {
      return usageError("unknown option: " + a);
    } else if (file) {
      return usageError("only one FILE");
    } else {
      file = a;
    }
  }

  std::string body, error;
  const bool fromFile = file && *file != "-";
  const int fd = fromFile ? ::open(file->c_str(), O_RDONLY | O_CLOEXEC) : STDIN_FILENO;
  struct stat st {};
  if (fd < 0) {
    error = std::strerror(errno);
  } else if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    error = "is a directory";
  } else {
    readCapped(fd, qvad::kMaxReplyBytes, body, error);
  }
  if (fromFile && fd >= 0) ::close(fd);
  if (!error.empty()) {
    std::fprintf(stderr, "qvadctl reply: cannot read %s: %s\n", fromFile ? file->c_str() : "standard input",
                 error.c_str());
    return 1;
  }

  // Standard output carries only the outcome line.
  qvad::QvConfiguration::setLogSink([](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  });
  // The transport refuses a body over the cap before the reply is read at all.
  qvad::HttpResponse response{std::move(body), 200, std::nullopt};
  if (response.body->size() > qvad::kMaxReplyBytes) {
    response.body.reset();
    response.error = qvad::bodyTooLargeError(qvad::kMaxReplyBytes);
  }
  nlohmann::ordered_json out;
  if (model == "ad") {
    out = outcomeJSON<qvad::AdModel>(qvad::readReply<qvad::AdModel>(response, {}), [](const qvad::AdModel& ad) {
      return nlohmann::ordered_json{{"outcome", "success"},
                            {"ad",
                             {{"imageUrl", text(ad.imageUrl)},
                              {"landingUrl", text(ad.landingUrl)},
                              {"reportImplUrl", text(ad.reportImplUrl)},
                              {"reportClickUrl", text(ad.reportClickUrl)}}}};
    });
  } else {
    out = outcomeJSON<qvad::EmptyResult>(qvad::readReply<qvad::EmptyResult>(response, {}),
                                         [](const qvad::EmptyResult&) { return nlohmann::ordered_json{{"outcome", "success"}}; });
  }
  std::printf("%s\n", out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
  return 0;
}

}  // namespace qvadctl
