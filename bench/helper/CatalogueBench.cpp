// What GET /favapps?count=20 costs over a desktop of 500 desktop entries,
// each naming a program of its own with an icon in the theme (every fourth
// one an SVG), on a private Xvfb: beside it, in the same run, the bare scan
// of the entries' folder with every file read once, and the ratio.
//
//   bench_helper_catalogue [runs]     (timed runs of each, default 20)

#include "XvfbServer.h"
#include "catalogue/ProgramCatalogue.h"
#include "platform/linux/catalogue/LinuxCataloguePlatform.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

namespace obx::x11::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int entryCount = 500;
constexpr int wanted = 20;

// A 1x1 PNG.
const std::string
    png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x04\0\0\0\xb5\x1c\x0c\x02\0\0\0\x0bIDATx"
        "\xda\x63\x64\x60\0\0\0\x06\0\x02\x30\x81\xd0\x2f\0\0\0\0IEND\xae\x42\x60\x82",
        67);

void write(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

linuxos::DesktopEnvironment makeDesktop(const fs::path& root) {
    const auto applications = root / "data" / "applications";
    const auto icons = root / "data" / "icons" / "hicolor";
    fs::create_directories(applications);
    fs::create_directories(root / "bin");
    fs::create_directories(icons / "32x32" / "apps");
    fs::create_directories(icons / "scalable" / "apps");
    write(icons / "index.theme",
          "[Icon Theme]\nDirectories=32x32/apps,scalable/apps\n[32x32/apps]\nSize=32\n"
          "Type=Fixed\n[scalable/apps]\nSize=64\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    for (int i = 0; i < entryCount; ++i) {
        const auto name = "program-" + std::to_string(i);
        write(root / "bin" / name, "#!/bin/sh\n");
        fs::permissions(root / "bin" / name, fs::perms::owner_all);
        std::ostringstream entry;
        entry << "[Desktop Entry]\nType=Application\nName=Program " << i << "\n";
        for (const char* locale : {"de", "fr", "es", "it", "ja", "pt_BR", "ru", "zh_CN"}) {
            entry << "Name[" << locale << "]=Program " << i << " (" << locale << ")\n";
            entry << "Comment[" << locale << "]=Does the work of program " << i << "\n";
        }
        entry << "Exec=" << name << " %F\nIcon=" << name << "\nCategories=Utility;\n";
        write(applications / (name + ".desktop"), entry.str());
        if (i % 4 == 3) {
            write(icons / "scalable" / "apps" / (name + ".svg"),
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\"><circle cx=\"32\" "
                  "cy=\"32\" r=\"30\" fill=\"#36c\"/></svg>");
        } else {
            write(icons / "32x32" / "apps" / (name + ".png"), png);
        }
    }
    linuxos::DesktopEnvironment environment;
    environment.home = (root / "home").string();
    environment.dataHome = (root / "data").string();
    environment.dataDirs = (root / "none").string();
    environment.configHome = (root / "config").string();
    environment.path = (root / "bin").string();
    environment.messagesLocale = "de_DE.UTF-8";
    return environment;
}

// The median of runs of the body, in milliseconds.
double medianMilliseconds(int runs, const std::function<void()>& body) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        body();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int run(int runs) {
    XvfbServer server;
    if (server.displayName().empty()) {
        std::fprintf(stderr, "no Xvfb: %s\n", server.failure().c_str());
        return 1;
    }
    obx::test::TempFolder root;
    const auto environment = makeDesktop(root.path());
    ProgramCatalogue catalogue(std::make_unique<linuxos::LinuxCataloguePlatform>(
        linuxos::LinuxCataloguePlatform::Options{server.displayName(), root / "proc", environment}));

    std::size_t listed = 0;
    const double first =
        medianMilliseconds(1, [&] { listed = catalogue.listApplications(wanted, {}).size(); });
    const double list =
        medianMilliseconds(runs, [&] { listed = catalogue.listApplications(wanted, {}).size(); });
    std::size_t bytes = 0;
    const double scan = medianMilliseconds(runs, [&] {
        bytes = 0;
        for (const auto& entry : fs::directory_iterator(root / "data" / "applications")) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream content;
            content << in.rdbuf();
            bytes += content.str().size();
        }
    });

    std::printf("%d desktop entries (%zu bytes), count %d, median of %d runs\n", entryCount, bytes, wanted,
                runs);
    std::printf("  %-52s %9.2f ms\n", "first list (with the names cache built)", first);
    std::printf("  %-52s %9.2f ms  (%zu records)\n", "GET /favapps?count=20: listApplications(20)", list,
                listed);
    std::printf("  %-52s %9.2f ms\n", "baseline: scan the folder, read every entry", scan);
    std::printf("  %-52s %9.2f\n", "ratio list / baseline", list / scan);
    return listed == wanted ? 0 : 1;
}

} // namespace
} // namespace obx::x11::test

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    return obx::x11::test::run(runs);
}
