// The KDE platform services' input, run by the tests as a program of its own:
// KWin grants fake input only to a program its desktop file names, and checks
// the program of the connection's process. Runs the steps given, prints
// "done", and goes on serving (the clipboard given back after a paste) until
// a signal ends it.
//
// obx_kde_input_client [--log FOLDER] STEP...
//   --log FOLDER                      (the helper's log, debug records too, in the folder)
//   keystroke MODIFIERS VIRTUAL-KEY   (hexadecimal; pressed and released)
//   type TEXT
//   double-click PAUSE-MS             (the left button)
//   scroll DIRECTION LINES            (by arrow keys: 1 up, 2 down, 3 left, 4 right)
//   snippet-menu ENTRY...             (the menu of the entries, the one chosen typed)
//   wait-for FILE                     (until the file exists, ten seconds at most)

#include "base/Log.h"
#include "platform/linux/kde/KdePlatformServices.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    obx::kde::KdePlatformServices services("", "");
    int first = 1;
    if (argc > 2 && std::string(argv[1]) == "--log") {
        obx::openLog({argv[2], static_cast<int>(obx::LogLevel::debug)});
        first = 3;
    }
    try {
        for (int index = first; index < argc; ++index) {
            const std::string step = argv[index];
            if (step == "keystroke" && index + 2 < argc) {
                const auto modifiers = static_cast<std::uint16_t>(std::stoul(argv[index + 1], nullptr, 16));
                const auto key = static_cast<std::uint16_t>(std::stoul(argv[index + 2], nullptr, 16));
                services.sendKeystroke(modifiers, key, true, false);
                services.sendKeystroke(modifiers, key, false, false);
                index += 2;
            } else if (step == "type" && index + 1 < argc) {
                services.typeText(argv[++index]);
            } else if (step == "double-click" && index + 1 < argc) {
                const auto pause = std::chrono::milliseconds(std::stoi(argv[++index]));
                for (int click = 0; click < 2; ++click) {
                    std::this_thread::sleep_for(click ? pause : std::chrono::milliseconds(0));
                    services.sendMouseButton(1, true);
                    services.sendMouseButton(1, false);
                }
            } else if (step == "scroll" && index + 2 < argc) {
                services.scrollByKeys(static_cast<std::uint32_t>(std::stoul(argv[index + 1])),
                                      std::stoi(argv[index + 2]));
                index += 2;
            } else if (step == "snippet-menu" && index + 1 < argc) {
                // As the snippet-menu action does: the chosen entry is typed.
                const std::vector<std::string> entries(argv + index + 1, argv + argc);
                const auto chosen = services.showSnippetMenu(entries, {});
                if (!chosen.empty()) {
                    services.typeText(chosen);
                }
                index = argc;
            } else if (step == "wait-for" && index + 1 < argc) {
                const std::filesystem::path file = argv[++index];
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            } else {
                std::fprintf(stderr, "unknown step %s\n", step.c_str());
                return 2;
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("done\n");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
