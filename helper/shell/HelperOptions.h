#pragma once

// The helper's command line.

#include <boost/program_options/options_description.hpp>

namespace obx {

struct HelperOptions {
    bool quit = false;
    int logLevel = 2;
    bool dbgOutput = false;
    bool launchGui = false;
    bool parseFavApps = false;
};

// The option group "Options", in the order the descriptions are listed.
boost::program_options::options_description helperOptionsDescription();

// Throws boost::program_options::error for an unknown option or a missing or
// malformed value.
HelperOptions parseHelperOptions(int argc, const char* const argv[]);

} // namespace obx
