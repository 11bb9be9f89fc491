// qvadctl reply: runs the request manager's completion logic on a reply body and
// prints what the callbacks would receive, as one JSON line.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

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
    "The library's console line for the body goes to standard error.\n";

namespace {

int usageError(const std::string& message) {
  std::fprintf(stderr, "qvadctl reply: %s\nTry 'qvadctl reply --help'.\n", message.c_str());
  return 2;
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

  std::string body;
  if (file && *file != "-") {
    std::ifstream in(*file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "qvadctl reply: cannot read %s\n", file->c_str());
      return 1;
    }
    body.assign(std::istreambuf_iterator<char>(in), {});
  } else {
    body.assign(std::istreambuf_iterator<char>(std::cin), {});
  }

  // Standard output carries only the outcome line.
  qvad::QvConfiguration::setLogSink([](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  });
  qvad::HttpResponse response{std::move(body), 200, std::nullopt};
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
