// obxctl: the helper's settings from the command line, through its local
// HTTP API.

#include "Commands.h"
#include "DaemonClient.h"
#include "Errors.h"
#include "ShortForms.h"

#include <boost/program_options.hpp>
#include <charconv>
#include <cstdlib>
#include <iostream>

namespace po = boost::program_options;

namespace obxctl {
namespace {

constexpr unsigned short defaultPort = 9090;

unsigned short portFrom(const std::string& text, const char* source) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) {
        throw UsageError(std::string(source) + " '" + text + "' is no port number");
    }
    return static_cast<unsigned short>(value);
}

std::uint16_t deviceFrom(const std::string& text) {
    const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const char* begin = text.data() + (hex ? 2 : 0);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value, hex ? 16 : 10);
    if (error != std::errc() || end != text.data() + text.size() || begin == end || value > 0xFFFF) {
        throw UsageError("--device '" + text + "' is no configuration id (0 to 65535, or 0x0 to 0xffff)");
    }
    return static_cast<std::uint16_t>(value);
}

po::options_description visibleOptions() {
    po::options_description options("Options");
    options.add_options()("help,h", "this text")("port,p", po::value<std::string>(),
                                                 "the helper's port (default: $OBX_HTTP_PORT, else 9090)")(
        "json", "print the helper's JSON documents instead of tables")(
        "device,d", po::value<std::string>(),
        "the trackball's configuration id; may be left out when one is present")(
        "app,a", po::value<std::string>(),
        "the application profile (the program's path); default: the global one")(
        "count", po::value<std::string>(), "how many programs favapps offers (1 to 20)")(
        "all", "devices: also the pointing devices that obxkernd does not serve");
    return options;
}

void printHelp(std::ostream& out) {
    out << "Usage: obxctl [OPTIONS] SUBCOMMAND [ARGUMENTS]\n\n"
        << commandsHelp() << '\n'
        << actionFormsHelp() << '\n'
        << visibleOptions() << '\n'
        << "Exit codes: 0 done, 1 the helper or obxkernd refused (its reason is printed), 2 no helper\n"
           "listening, 64 bad usage.\n";
}

// Nothing when the help was asked for.
std::optional<Invocation> parse(int argc, char** argv) {
    po::options_description all = visibleOptions();
    all.add_options()("words", po::value<std::vector<std::string>>(), "");
    po::positional_options_description positional;
    positional.add("words", -1);
    po::variables_map values;
    try {
        po::store(po::command_line_parser(argc, argv).options(all).positional(positional).run(), values);
        po::notify(values);
    } catch (const po::error& error) {
        throw UsageError(error.what());
    }
    if (values.count("help")) {
        return std::nullopt;
    }
    Invocation invocation;
    if (values.count("port")) {
        invocation.port = portFrom(values["port"].as<std::string>(), "--port");
    } else if (const char* fromEnvironment = std::getenv("OBX_HTTP_PORT");
               fromEnvironment && *fromEnvironment) {
        invocation.port = portFrom(fromEnvironment, "OBX_HTTP_PORT");
    } else {
        invocation.port = defaultPort;
    }
    invocation.json = values.count("json") > 0;
    invocation.all = values.count("all") > 0;
    if (values.count("device")) {
        invocation.device = deviceFrom(values["device"].as<std::string>());
    }
    if (values.count("app")) {
        invocation.app = values["app"].as<std::string>();
    }
    if (values.count("count")) {
        invocation.count = parseNumber(values["count"].as<std::string>(), 1, 20);
    }
    if (values.count("words")) {
        invocation.words = values["words"].as<std::vector<std::string>>();
    }
    return invocation;
}

int run(int argc, char** argv) {
    try {
        const auto invocation = parse(argc, argv);
        if (!invocation) {
            printHelp(std::cout);
            return 0;
        }
        runCommand(*invocation, std::cout);
        std::cout.flush();
        return std::cout ? 0 : exitHelperFailure;
    } catch (const UsageError& error) {
        std::cerr << "obxctl: " << error.what() << "\nTry 'obxctl --help'.\n";
        return exitUsage;
    } catch (const NoHelper& error) {
        std::cerr << "obxctl: " << error.what() << '\n';
        return exitNoHelper;
    } catch (const DaemonFailure& error) {
        std::cerr << "obxctl: " << error.what() << '\n';
        return exitHelperFailure;
    } catch (const HelperFailure& error) {
        std::cerr << "obxctl: " << error.what() << '\n';
        return exitHelperFailure;
    } catch (const std::exception& error) {
        // An answer of a shape this client does not expect.
        std::cerr << "obxctl: unexpected answer from the helper: " << error.what() << '\n';
        return exitHelperFailure;
    }
}

} // namespace
} // namespace obxctl

int main(int argc, char** argv) {
    return obxctl::run(argc, argv);
}
