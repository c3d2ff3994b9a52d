#include "shell/HelperOptions.h"

#include <algorithm>
#include <boost/program_options/parsers.hpp>
#include <boost/program_options/variables_map.hpp>

namespace po = boost::program_options;

namespace obx {

po::options_description helperOptionsDescription() {
    po::options_description options("Options", 80, 40);
    options.add_options()                                                                         //
        ("logLevel", po::value<int>(), "Log level (0-5, 0: maximum logging, 5: minimum logging)") //
        ("quit", "Terminate running helper")                                                      //
        ("dbgOutput", "Output log messages to OS console")                                        //
        ("verbose", "Enable maximum logging")                                                     //
        ("launchGui", "Launch GUI")                                                               //
        ("parseFavApps", "Parse Favorite Apps");
    return options;
}

HelperOptions parseHelperOptions(int argc, const char* const argv[]) {
    po::variables_map values;
    po::store(po::parse_command_line(argc, argv, helperOptionsDescription()), values);
    po::notify(values);

    HelperOptions options;
    if (values.count("logLevel")) {
        options.logLevel = std::clamp(values["logLevel"].as<int>(), 0, 5);
    }
    if (values.count("verbose")) {
        options.logLevel = 0;
    }
    options.quit = values.count("quit") > 0;
    options.dbgOutput = values.count("dbgOutput") > 0;
    options.launchGui = values.count("launchGui") > 0;
    options.parseFavApps = values.count("parseFavApps") > 0;
    return options;
}

} // namespace obx
