#include "Daemon.h"
#include "Log.h"
#include "Options.h"
#include "SignalWatch.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    using namespace obx::kernd;
    blockStopSignals();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parseOptions(args, std::getenv(kRuntimeDirVariable));
    if (!parsed.options) {
        logf(LogLevel::error, "%s", parsed.error.c_str());
        std::fputs(usageText(), stderr);
        return 2;
    }
    if (parsed.options->help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    setLogLevel(parsed.options->logLevel);
    return runDaemon(*parsed.options);
}
