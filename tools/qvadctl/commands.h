// qvadctl's subcommands. Each takes the arguments after its name and returns the
// process exit status: 0 done, 1 failed, 2 bad usage.
#pragma once

#include <string>
#include <vector>

namespace qvadctl {

using Args = std::vector<std::string>;

int signCommand(const Args& args);
extern const char* const kSignUsage;

int replyCommand(const Args& args);
extern const char* const kReplyUsage;

int gifCommand(const Args& args);
extern const char* const kGifUsage;
int bridgeCommand(const Args& args);
extern const char* const kBridgeUsage;

}  // namespace qvadctl
