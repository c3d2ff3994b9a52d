#include "KWinUserInput.h"

#include "HelperProcess.h"
#include "SwayCompositor.h"

#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace obx::test {

namespace fs = std::filesystem;

namespace {

void ownedByCompositorUser(const fs::path& path) {
    const auto user = compositorUser();
    if (chown(path.c_str(), user, user) != 0) {
        throw std::runtime_error("cannot hand " + path.string() + " to the compositor's user");
    }
}

} // namespace

KWinUserInput::KWinUserInput(const KWinCompositor& kwin) : output_(kwin.programFolder() / "fake-input.log") {
    const auto program = kwin.programFolder() / "obx_kwin_fake_input";
    fs::copy_file(OBX_KWIN_FAKE_INPUT_PATH, program, fs::copy_options::overwrite_existing);
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    // KWin grants fake input to the program whose desktop entry asks for it.
    const auto applications = kwin.homeFolder() / ".local" / "share" / "applications";
    fs::create_directories(applications);
    for (auto folder = applications; folder != kwin.homeFolder(); folder = folder.parent_path()) {
        ownedByCompositorUser(folder);
    }
    const auto entry = applications / "obx-fake-input.desktop";
    writeFile(entry, "[Desktop Entry]\nType=Application\nName=obx fake input\nNoDisplay=true\nExec=" +
                         program.string() + "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
    ownedByCompositorUser(entry);
    const auto fifo = kwin.programFolder() / "fake-input.fifo";
    if (mkfifo(fifo.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make the fake input's command pipe");
    }
    ownedByCompositorUser(fifo);
    process_ = std::make_unique<SpawnedProcess>(
        asCompositorUser({program.string(), fifo.string()}),
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + fs::path(kwin.waylandDisplay()).parent_path().string(),
                                 "WAYLAND_DISPLAY=" + kwin.waylandDisplay()},
        output_);
    if (!waitUntil([&] {
            const auto text = readFile(output_);
            return text.find("ready") != std::string::npos || text.find("refused") != std::string::npos ||
                   !process_->running();
        }) ||
        readFile(output_).find("ready") == std::string::npos) {
        throw std::runtime_error("KWin gives the tests' program no fake input: " + readFile(output_));
    }
    commands_.open(fifo);
}

KWinUserInput::~KWinUserInput() {
    commands_.close();
    process_->waitExit(kWait);
}

void KWinUserInput::send(const std::string& command) {
    commands_ << command << std::endl;
    const auto done = "done " + std::to_string(++sent_) + "\n";
    if (!waitUntil([&] { return readFile(output_).find(done) != std::string::npos; })) {
        throw std::runtime_error("KWin did not take the fake input: " + command);
    }
}

void KWinUserInput::moveTo(int x, int y) {
    send("move " + std::to_string(x) + " " + std::to_string(y));
}

void KWinUserInput::click(std::uint32_t button) {
    send("click " + std::to_string(button));
}

void KWinUserInput::tap(std::uint32_t key) {
    send("key " + std::to_string(key));
}

} // namespace obx::test
