// qvadctl: the integrator's tool. It runs the library's own code paths on the
// command line, so what it prints is what the library does.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace {

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const qvadctl::Args&);
  const char* const* usage;
};

const Command kCommands[] = {
    {"sign", "build and sign a request URL as the library does", qvadctl::signCommand, &qvadctl::kSignUsage},
    {"reply", "run the request manager's reply handling on a body", qvadctl::replyCommand, &qvadctl::kReplyUsage},
    {"page", "print the web container's page options read from a URL", qvadctl::pageCommand, &qvadctl::kPageUsage},
    {"nav", "run the web container's navigation policy on one URL", qvadctl::navCommand, &qvadctl::kNavUsage},
    {"bridge", "decode page messages and build the bridge's reply scripts", qvadctl::bridgeCommand,
     &qvadctl::kBridgeUsage},
    {"gif", "decode a GIF as the GIF player does", qvadctl::gifCommand, &qvadctl::kGifUsage},
};

void printHelp(FILE* out) {
  std::fprintf(out, "usage: qvadctl <command> [options]\n\ncommands:\n");
  for (const auto& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
  std::fprintf(out, "\n'qvadctl <command> --help' describes one command.\n");
}

}  // namespace

namespace qvadctl {

int reportUsageError(const char* command, const std::string& message) {
  std::fprintf(stderr, "qvadctl %s: %s\nTry 'qvadctl %s --help'.\n", command, message.c_str(), command);
  return 2;
}

}  // namespace qvadctl

int main(int argc, char** argv) {
  if (argc < 2) {
    printHelp(stderr);
    return 2;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    printHelp(stdout);
    return 0;
  }
  for (const auto& c : kCommands) {
    if (name != c.name) continue;
    qvadctl::Args args(argv + 2, argv + argc);
    for (const auto& a : args) {
      if (a == "--") break;
      if (a == "--help" || a == "-h") {
        std::fputs(*c.usage, stdout);
        return 0;
      }
    }
    return c.run(args);
  }
  std::fprintf(stderr, "qvadctl: unknown command '%s'\n", name.c_str());
  printHelp(stderr);
  return 2;
}
