// qvadctl's subcommands. Each takes the arguments after its name and returns the
// process exit status: 0 done, 1 failed, 2 bad usage.
#pragma once

#include <string>
#include <vector>

namespace qvadctl {

/// Writes "qvadctl <command>: <message>" and the help hint to standard error; returns the
/// usage-error status, 2.
int reportUsageError(const char* command, const std::string& message);

using Args = std::vector<std::string>;

int signCommand(const Args& args);
extern const char* const kSignUsage;

int replyCommand(const Args& args);
extern const char* const kReplyUsage;

int pageCommand(const Args& args);
extern const char* const kPageUsage;
int navCommand(const Args& args);
extern const char* const kNavUsage;
int bridgeCommand(const Args& args);
extern const char* const kBridgeUsage;
int gifCommand(const Args& args);
extern const char* const kGifUsage;

}  // namespace qvadctl
