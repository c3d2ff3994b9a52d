#include "platform/CommandLine.h"

#include <boost/locale/encoding_utf.hpp>

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace obx {

std::vector<std::string> programArguments(int argc, const char* const argv[]) {
    // The narrow arguments went through the ANSI code page; the command line
    // itself is UTF-16.
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) {
        return {argv, argv + argc};
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(boost::locale::conv::utf_to_utf<char>(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

} // namespace obx
