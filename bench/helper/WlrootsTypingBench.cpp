// Exact typing on a headless sway, side by side with wtype on the same text:
// characters per second until the whole text has reached a client of ours
// (which reports every key it reads), and the helper's speed as a ratio to
// wtype's (medians).
//
//   bench_helper_wlroots_typing [runs]     (runs of each typist, default 3)

#include "HelperProcess.h"
#include "SwayCompositor.h"
#include "UserKeyboard.h"
#include "platform/linux/wayland/WlrootsPlatformServices.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace obx::test {
namespace {

constexpr std::size_t textLength = 2000;

// A fixed pseudo-random mixture of Latin, accented, Cyrillic, CJK and emoji
// characters, without line feeds (which a client reads as carriage returns).
std::string mixedText() {
    const std::vector<std::string> characters = {
        "a", "b", "c", "d", "e", "f", "g", "h",  "i",  "k",  "l",  "m", "n", "o", "p",
        "r", "s", "t", "u", " ", " ", " ", ".",  ",",  "A",  "Z",  "0", "7", "é", "ü",
        "ß", "ç", "ñ", "ø", "ж", "д", "Я", "世", "界", "的", "是", "☃", "😀", "🚀", "❤"};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> choose(0, characters.size() - 1);
    std::string text;
    for (std::size_t i = 0; i < textLength; ++i) {
        text += characters[choose(random)];
    }
    return text;
}

class Reporter {
public:
    explicit Reporter(std::filesystem::path file) : file_(std::move(file)) {}

    void skipWhatCame() { skip_ = lines().size(); }
    // The text of the key presses since the last skip.
    std::string typed() const {
        std::string text;
        const auto all = lines();
        for (std::size_t index = skip_; index < all.size(); ++index) {
            const auto at = all[index].find(" down mods= text=");
            if (all[index].starts_with("key ") && at != std::string::npos) {
                text += all[index].substr(at + 17);
            }
        }
        return text;
    }

private:
    std::vector<std::string> lines() const {
        std::ifstream input(file_);
        std::vector<std::string> result;
        for (std::string line; std::getline(input, line);) {
            result.push_back(line);
        }
        return result;
    }

    std::filesystem::path file_;
    std::size_t skip_ = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int run(int runs) {
    SwayCompositor sway;
    auto toplevels = std::make_shared<wayland::ForeignToplevels>(sway.waylandDisplay());
    wayland::WlrootsPlatformServices services(toplevels, "");
    const auto report = sway.programFolder() / "report.log";
    auto client = sway.startClient(
        {probeCopy(sway.programFolder(), "probe-report").string(), "org.example.Report", "--report-input"},
        report);
    if (!waitUntil([&] {
            const auto focused = toplevels->focused();
            return focused && focused->appId == "org.example.Report";
        })) {
        std::fprintf(stderr, "the reporting client did not get the focus\n");
        return 1;
    }
    // As in a session, the seat has a keyboard before anything is typed.
    UserKeyboard keyboard(sway.waylandDisplay(), "us");
    Reporter reporter(report);
    const std::string text = mixedText();
    struct Typist {
        const char* name;
        std::function<void()> type;
        std::vector<double> speeds;
        bool exact = true;
    };
    std::vector<Typist> typists = {
        {"helper", [&] { services.typeText(text); }, {}},
        {"wtype",
         [&] {
             sway.startClient({"wtype", text})->waitExit(std::chrono::seconds(120));
         },
         {}},
    };
    for (int round = 0; round < runs; ++round) {
        for (auto& typist : typists) {
            reporter.skipWhatCame();
            const auto start = std::chrono::steady_clock::now();
            typist.type();
            const bool arrived =
                waitUntil([&] { return reporter.typed() == text; }, std::chrono::seconds(120));
            const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
            typist.exact = typist.exact && arrived;
            if (!arrived) {
                const auto got = reporter.typed();
                const auto at =
                    std::mismatch(text.begin(), text.end(), got.begin(), got.end()).first - text.begin();
                std::fprintf(stderr, "%s: %zu of %zu bytes arrived, the first difference at byte %td\n",
                             typist.name, got.size(), text.size(), at);
                std::fprintf(stderr, "want: %s\ngot:  %s\n", text.substr(0, 80).c_str(),
                             got.substr(0, 80).c_str());
            }
            typist.speeds.push_back(static_cast<double>(textLength) / seconds.count());
        }
    }
    std::printf(
        "%zu characters (Latin, accents, Cyrillic, CJK, emoji) to a client on headless sway, %d run(s)\n",
        textLength, runs);
    std::printf("%-8s %18s %10s\n", "typist", "characters/second", "exact");
    for (const auto& typist : typists) {
        std::printf("%-8s %18.0f %10s\n", typist.name, median(typist.speeds), typist.exact ? "yes" : "NO");
    }
    std::printf("helper / wtype: %.2f\n", median(typists[0].speeds) / median(typists[1].speeds));
    return typists[0].exact ? 0 : 1;
}

} // namespace
} // namespace obx::test

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    return obx::test::run(runs);
}
