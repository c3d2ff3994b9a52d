#pragma once

// Starting other programs without a shell: every argument reaches the
// program exactly as given, so no text in it is ever interpreted.

#include <string>
#include <vector>

namespace obx::x11 {

// The full path of a program found through PATH (or the name itself when it
// holds a slash); empty when there is no such executable.
std::string findProgram(const std::string& name);

// Starts the program in a session of its own, not as a child of this
// process, so that it outlives the helper and leaves no zombie. True when
// the program was started.
bool startDetached(const std::vector<std::string>& command, const std::string& workingFolder);

// Opens the file or address with the desktop's default application
// (xdg-open, from the home folder, detached). False when xdg-open could not
// be started.
bool openWithDefaultApplication(const std::string& path);

// Runs the program and waits for it: its exit status, -1 when it could not
// run or did not exit normally.
int runProgram(const std::vector<std::string>& command);

} // namespace obx::x11
