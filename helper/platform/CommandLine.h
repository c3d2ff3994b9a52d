#pragma once

// The program's arguments as UTF-8 text, the program name first.

#include <string>
#include <vector>

namespace obx {

// argc and argv as main received them; a system whose own command line is
// not UTF-8 reads that one instead.
std::vector<std::string> programArguments(int argc, const char* const argv[]);

} // namespace obx
