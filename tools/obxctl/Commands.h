#pragma once

// The subcommands: each turns its words into one or two requests to the
// helper and prints the answer as a table, or as the JSON document itself.

#include "HelperClient.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace obxctl {

struct Invocation {
    unsigned short port = 9090;
    bool json = false;
    std::optional<std::uint16_t> device;
    std::optional<std::string> app;
    std::optional<int> count;
    // devices --all: also the pointing devices that obxkernd does not serve.
    bool all = false;
    // The subcommand and its arguments.
    std::vector<std::string> words;
};

// Runs the subcommand; throws UsageError, HelperFailure, NoHelper or DaemonFailure.
void runCommand(const Invocation& invocation, std::ostream& out);

// The subcommands' usage lines, for the help.
const char* commandsHelp();

} // namespace obxctl
