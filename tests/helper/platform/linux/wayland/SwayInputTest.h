#pragma once

// A headless sway with a client of ours that reports the input it receives,
// and the wlroots bridge's platform services on it.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "HelperProcess.h"
#include "SwayCompositor.h"
#include "platform/linux/wayland/WlrootsPlatformServices.h"
#include "platform/linux/x11/VirtualKeys.h"

#include <algorithm>
#include <fstream>

namespace obx::test {

using wayland::ForeignToplevels;

class SwayInputTest : public ::testing::Test {
protected:
    SwayInputTest() : toplevels(std::make_shared<ForeignToplevels>(sway.waylandDisplay())) {}

    // Starts the reporting client and waits until its window has the focus;
    // with a pause (milliseconds) it sleeps after each key press it reads.
    std::unique_ptr<SpawnedProcess> startReporter(const std::string& keyPause = {}) {
        std::vector<std::string> command{probeCopy(sway.programFolder(), "probe-report").string(),
                                         "org.example.Report", "--report-input"};
        if (!keyPause.empty()) {
            command.push_back(keyPause);
        }
        auto client = sway.startClient(command, report);
        EXPECT_TRUE(waitUntil([&] {
            const auto focused = toplevels->focused();
            return focused && focused->appId == "org.example.Report";
        }));
        return client;
    }

    // A window on the left with a pointer of its own, so that the seat has a
    // cursor before the first click, then the reporting client, tiled on the
    // right, with the pointer over it.
    std::pair<std::unique_ptr<SpawnedProcess>, std::unique_ptr<SpawnedProcess>>
    startReporterUnderThePointer() {
        auto other = sway.startClient({probeCopy(sway.programFolder(), "probe-pointer").string(),
                                       "org.example.Other", "--virtual-pointer"});
        EXPECT_TRUE(waitUntil([&] { return toplevels->windows().size() == 1; }));
        auto client = startReporter();
        // Put again until the client has drawn its window there and the
        // pointer entered it.
        int step = 0;
        EXPECT_TRUE(waitUntil([&] {
            sway.ipc().run("seat seat0 cursor set " + std::to_string(900 + ++step % 2) + " 400");
            return !reportedFrom(0, "pointer enter").empty();
        })) << testing::PrintToString(reported());
        return {std::move(other), std::move(client)};
    }

    std::vector<std::string> reported() const {
        std::ifstream input(report);
        std::vector<std::string> lines;
        for (std::string line; std::getline(input, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    // The reported lines from the index on that start with the prefix.
    std::vector<std::string> reportedFrom(std::size_t from, const std::string& prefix) const {
        std::vector<std::string> lines;
        const auto all = reported();
        for (std::size_t index = from; index < all.size(); ++index) {
            if (all[index].starts_with(prefix)) {
                lines.push_back(all[index]);
            }
        }
        return lines;
    }

    // The text of the key presses without modifiers reported from the index on.
    std::string typedFrom(std::size_t from) const {
        std::string typed;
        for (const auto& line : reportedFrom(from, "key ")) {
            if (line.find(" down mods= text=") != std::string::npos) {
                typed += line.substr(line.find("text=") + 5);
            }
        }
        return typed;
    }

    bool waitForLine(const std::string& line, std::size_t from = 0) const {
        return waitUntil([&] {
            const auto lines = reportedFrom(from, line);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }

    void pressCtrlA() {
        constexpr std::uint16_t virtualKeyA = 'A';
        services.sendKeystroke(x11::modifierCtrl, virtualKeyA, true, false);
        services.sendKeystroke(x11::modifierCtrl, virtualKeyA, false, false);
    }

    SwayCompositor sway;
    std::shared_ptr<ForeignToplevels> toplevels;
    wayland::WlrootsPlatformServices services{toplevels, ""};
    std::filesystem::path report = sway.programFolder() / "report.log";
};

} // namespace obx::test
