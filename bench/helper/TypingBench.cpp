// Typing a 10,000-character text of several scripts on a private Xvfb, side
// by side with xdotool: characters per second, the helper's speed as a ratio
// to each (medians), and whether the text arrived exactly at a probe window
// that translates each key event as it comes and answers pings as toolkits
// do.
//
//   bench_helper_typing [runs]     (runs of each typist, default 1)

#include "X11Probe.h"
#include "XvfbServer.h"
#include "platform/linux/actions/LinuxPlatformServices.h"
#include "platform/linux/actions/Programs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace obx::x11::test {
namespace {

constexpr std::size_t textLength = 10000;

// The characters of a UTF-8 text, each as its own UTF-8 string.
std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> result;
    for (const char byte : text) {
        if ((static_cast<unsigned char>(byte) & 0xC0) == 0x80) {
            result.back() += byte;
        } else {
            result.emplace_back(1, byte);
        }
    }
    return result;
}

// A fixed pseudo-random mixture, mostly Latin as snippets are, with line
// feeds.
std::string mixedText() {
    struct Pool {
        std::vector<std::string> characters;
        double weight;
    };
    const std::vector<Pool> pools = {
        {characters("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789     .,;:!?'\"-()@#"), 50},
        {characters("éèêëàâäçñöüßøåæœłőűčšžÉÀÇÑÖÜ"), 12},
        {characters("абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЭЮЯ"), 15},
        {characters(
             "的一是不了人我在有他这中大来上国个到说们为子和你地出道也时年得就那要下以生会自着去之过家学对可"
             "她里后小么心多"
             "天而能好都然没日于起还发成事只作当想看文无开手十用主行方又如前所本见经头面公同三已老从动两长"),
         12},
        {characters(
             "😀😃😄😁😆😅😂🤣😊😇🙂🙃😉😌😍🥰😘👍👋🎉🚀🌍🍕⚽"
             "❤"),
         8},
        {{"\n"}, 3},
    };
    std::vector<double> weights;
    for (const auto& pool : pools) {
        weights.push_back(pool.weight);
    }
    std::mt19937 random(20240611);
    std::discrete_distribution<std::size_t> choosePool(weights.begin(), weights.end());
    std::string text;
    for (std::size_t i = 0; i < textLength; ++i) {
        const auto& pool = pools[choosePool(random)].characters;
        text += pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
    }
    return text;
}

struct Typist {
    const char* name;
    std::function<void(const std::string&)> type;
};

struct Run {
    double charactersPerSecond;
    std::string arrival;
};

// What arrived, compared character by character with what was typed.
std::string arrival(const std::string& typed, const std::string& received) {
    if (received == typed) {
        return "exactly";
    }
    const auto want = characters(typed);
    const auto got = characters(received);
    const auto difference = std::mismatch(want.begin(), want.end(), got.begin(), got.end());
    // The probe shows a key without a symbol as a NUL.
    const auto shown = [](const auto& at, const auto& end) -> std::string {
        return at == end ? "nothing" : *at == "\n" ? "LF" : *at == std::string(1, '\0') ? "NUL" : *at;
    };
    return "no: " + std::to_string(got.size()) + " characters, at " +
           std::to_string(difference.first - want.begin()) + " " + shown(difference.first, want.end()) +
           " arrived as " + shown(difference.second, got.end());
}

Run measure(const Typist& typist, const std::string& text, ProbeWindow& probe) {
    probe.clear();
    const auto start = std::chrono::steady_clock::now();
    typist.type(text);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    // Events still on their way arrive within the wait; a text that is wrong
    // stays wrong.
    waitFor([&] { return probe.typedText() == text; });
    return {static_cast<double>(textLength) / seconds.count(), arrival(text, probe.typedText())};
}

int run(int runs) {
    XvfbServer server;
    if (server.displayName().empty()) {
        std::fprintf(stderr, "Xvfb did not start: %s\n", server.failure().c_str());
        return 1;
    }
    // For xdotool, before any thread exists.
    setenv("DISPLAY", server.displayName().c_str(), 1);
    ProbeWindow probe(server.displayName());
    // The helper's own settings, but for the display.
    LinuxPlatformServices::Options options;
    options.displayName = server.displayName();
    LinuxPlatformServices services(std::move(options));
    const auto xdotool = [](std::vector<std::string> options) {
        return [options](const std::string& text) {
            std::vector<std::string> command{"xdotool", "type"};
            command.insert(command.end(), options.begin(), options.end());
            command.push_back("--");
            command.push_back(text);
            if (runProgram(command) != 0) {
                std::fprintf(stderr, "xdotool failed\n");
            }
        };
    };
    const Typist typists[] = {
        {"LinuxPlatformServices::typeText", [&](const std::string& text) { services.typeText(text); }},
        {"xdotool type (default 12 ms delay)", xdotool({})},
        {"xdotool type --delay 0", xdotool({"--delay", "0"})},
    };

    const std::string text = mixedText();
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("%zu characters (%zu bytes) on Xvfb %s, %d run(s) each, load average %.2f %.2f %.2f\n\n",
                textLength, text.size(), server.displayName().c_str(), runs, load[0], load[1], load[2]);
    std::printf("%-36s %10s %10s %10s %8s  %s\n", "typist", "min c/s", "median c/s", "max c/s", "ours/it",
                "arrived");
    double ours = 0;
    for (const auto& typist : typists) {
        std::vector<double> speeds;
        std::vector<std::string> arrivals;
        for (int i = 0; i < runs; ++i) {
            const Run result = measure(typist, text, probe);
            speeds.push_back(result.charactersPerSecond);
            arrivals.push_back(result.arrival);
        }
        std::sort(speeds.begin(), speeds.end());
        const double median = speeds[speeds.size() / 2];
        if (ours == 0) {
            ours = median;
        }
        std::string arrived;
        for (const auto& one : arrivals) {
            arrived += (arrived.empty() ? "" : "; ") + one;
        }
        std::printf("%-36s %10.0f %10.0f %10.0f %8.2f  %s\n", typist.name, speeds.front(), median,
                    speeds.back(), ours / median, arrived.c_str());
    }
    return 0;
}

} // namespace
} // namespace obx::x11::test

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    return obx::x11::test::run(runs);
}
