// Requests per second and latency of the command server under wrk, for GET
// and POST /config/pointer (POST saves the settings file) with 100 profiles,
// keep-alive, 1 and 8 concurrent connections. Needs wrk on the PATH.
//
//   build/bin/bench_helper_command_server [seconds per run]

#include "actions/PlatformServicesImpl.h"
#include "devices/DeviceManagerBase.h"
#include "platform/headless/HeadlessPlatformServices.h"
#include "server/CommandServer.h"
#include "settings/Settings.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string run(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> chunk;
        while (auto read = std::fread(chunk.data(), 1, chunk.size(), pipe)) {
            output.append(chunk.data(), read);
        }
        ::pclose(pipe);
    }
    return output;
}

std::string field(const std::string& text, const std::string& pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : "?";
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::stoi(argv[1]) : 5;
    const auto folder = fs::temp_directory_path() / "obx-bench-command-server";
    fs::remove_all(folder);
    fs::create_directories(folder);
    obx::installPlatformServices(std::make_unique<obx::HeadlessPlatformServices>(folder.string()));

    obx::DeviceManagerBase manager;
    manager.useSettings(std::make_unique<obx::Settings>(true));
    auto& settings = *manager.settings();
    settings.addDevice(4097);
    for (int i = 1; i < 100; ++i) {
        settings.createApp(4097, "Application " + std::to_string(i),
                           "/usr/bin/application-" + std::to_string(i));
    }

    obx::CommandServer server(manager, 0);
    server.start();
    const auto port = server.waitUntilListening();
    const auto url = "http://127.0.0.1:" + std::to_string(port) + "/config/pointer?app=*&device=4097";
    const auto body = manager.getPointerConfig(std::string("*"), 4097).dump();

    const auto script = folder / "post.lua";
    std::ofstream(script) << "wrk.method = \"POST\"\nwrk.body = '" << body
                          << "'\nwrk.headers[\"Content-Type\"] = \"application/json\"\n";

    std::cout << "profiles: 100, settings file: " << fs::file_size(folder / "ObxSettings.json") << " bytes, "
              << seconds << " s per run\n";
    std::cout << "method  connections  requests/s  p50        p99\n";
    for (const std::string method : {"GET", "POST"}) {
        for (int connections : {1, 8}) {
            const auto output =
                run("wrk --latency -t" + std::to_string(std::min(connections, 2)) + " -c" +
                    std::to_string(connections) + " -d" + std::to_string(seconds) + "s " +
                    (method == "POST" ? "-s " + script.string() + " " : "") + "'" + url + "' 2>&1");
            std::printf("%-7s %-12d %-11s %-10s %s\n", method.c_str(), connections,
                        field(output, R"(Requests/sec:\s+([0-9.]+))").c_str(),
                        field(output, R"(\s50%\s+([0-9.]+\w+))").c_str(),
                        field(output, R"(\s99%\s+([0-9.]+\w+))").c_str());
            if (output.find("Non-2xx") != std::string::npos) {
                std::cout << "  (some responses were not 200)\n" << output;
            }
        }
    }
    server.stop();
    fs::remove_all(folder);
}
