// The guest side of the real-kernel test: run as root inside a small virtual machine where obxkernd
// serves the trackball models of its devices.conf. It plugs in a trackball through /dev/uhid with the
// virtual trackball's own descriptor and checks what the kernel shows: reports coming out on the
// daemon's uinput mouse, the trackball's own evdev node silent while grabbed, a button remapped
// through control-01, the modifier keys of a uinput keyboard on the modifier socket, and control-01
// gone after the unplug. Each check prints one line; the last line
// says whether all passed. Usage: obx_guest_probe RUNTIME_DIR VENDOR PRODUCT

#include "ControlClient.h"
#include "driver/shared/ObxControl.h"
#include "virtual/VirtualTrackball.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/input.h>
#include <linux/uhid.h>
#include <linux/uinput.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using obx::kernd::ControlClient;
using obx::kernd::UniqueFd;

// Generous: the guest runs without acceleration on a busy machine.
constexpr auto kWait = 30s;
constexpr const char* kName = "Guest Test Trackball";

int failures = 0;

void check(bool ok, const char* what, const std::string& detail = {}) {
    if (!ok)
        ++failures;
    std::printf("obx-guest: %s %s%s%s\n", ok ? "ok" : "FAIL", what, detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
}

template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit = kWait) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

int64_t monotonicMicros() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

class Uhid {
public:
    Uhid() : fd_(::open("/dev/uhid", O_RDWR | O_CLOEXEC)) {}
    bool open() const { return bool(fd_); }

    bool create(uint16_t vendor, uint16_t product) {
        uhid_event event{};
        event.type = UHID_CREATE2;
        auto& c = event.u.create2;
        std::snprintf(reinterpret_cast<char*>(c.name), sizeof c.name, "%s", kName);
        std::snprintf(reinterpret_cast<char*>(c.uniq), sizeof c.uniq, "GUEST-1");
        const auto descriptor = obx::kernd::builtInDescriptor();
        std::copy(descriptor.begin(), descriptor.end(), c.rd_data);
        c.rd_size = static_cast<uint16_t>(descriptor.size());
        c.bus = BUS_USB;
        c.vendor = vendor;
        c.product = product;
        c.version = 0x0203;
        return write(event);
    }
    // The built-in layout: buttons, X, Y, wheel, pan.
    bool report(uint8_t buttons, int8_t x = 0, int8_t y = 0) {
        uhid_event event{};
        event.type = UHID_INPUT2;
        event.u.input2.size = 5;
        const uint8_t bytes[5] = {buttons, uint8_t(x), uint8_t(y), 0, 0};
        std::memcpy(event.u.input2.data, bytes, sizeof bytes);
        return write(event);
    }
    bool destroy() {
        uhid_event event{};
        event.type = UHID_DESTROY;
        return write(event);
    }

private:
    bool write(const uhid_event& event) { return ::write(fd_.get(), &event, sizeof event) == sizeof event; }
    UniqueFd fd_;
};

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    return text;
}

// The event node of the input device with this name: a uinput device (the daemon's mouse) or not (the
// trackball's own, below the uhid device).
std::optional<std::string> eventNodeNamed(const std::string& name, bool uinputDevice) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/input", error)) {
        const std::string sysname = entry.path().filename().string();
        if (!sysname.starts_with("event") || readText(entry.path() / "device" / "name") != name)
            continue;
        const bool isUinput = std::filesystem::canonical(entry.path(), error)
                                  .string()
                                  .starts_with("/sys/devices/virtual/input/");
        if (isUinput == uinputDevice)
            return "/dev/input/" + sysname;
    }
    return std::nullopt;
}

// A keyboard made through uinput, whose keys the daemon's modifier socket must see held.
class UinputKeyboard {
public:
    bool create() {
        fd_ = UniqueFd(::open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        uinput_setup setup{};
        setup.id = {BUS_USB, 0x1234, 0x0001, 1};
        std::snprintf(setup.name, sizeof setup.name, "Guest Test Keyboard");
        bool made = fd_ && ::ioctl(fd_.get(), UI_SET_EVBIT, EV_KEY) == 0;
        for (int key : {KEY_A, KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_RIGHTALT})
            made = made && ::ioctl(fd_.get(), UI_SET_KEYBIT, key) == 0;
        return made && ::ioctl(fd_.get(), UI_DEV_SETUP, &setup) == 0 &&
               ::ioctl(fd_.get(), UI_DEV_CREATE) == 0;
    }
    bool key(uint16_t code, int32_t value) {
        const input_event events[2] = {{{}, EV_KEY, code, value}, {{}, EV_SYN, SYN_REPORT, 0}};
        return ::write(fd_.get(), events, sizeof events) == sizeof events;
    }
    // Gives its event node to `seat` as udev would, in udev's database (read without udevd too).
    bool placeOnSeat(const char* seat) {
        char name[64] = {};
        if (::ioctl(fd_.get(), UI_GET_SYSNAME(sizeof name - 1), name) < 0)
            return false;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::string("/sys/class/input/") + name, error)) {
            if (!entry.path().filename().string().starts_with("event"))
                continue;
            std::string number;
            std::getline(std::ifstream(entry.path() / "dev"), number);
            std::filesystem::create_directories("/run/udev/data", error);
            std::ofstream("/run/udev/data/c" + number) << "E:ID_SEAT=" << seat << "\n";
            return !number.empty();
        }
        return false;
    }

private:
    UniqueFd fd_;
};

// The modifier socket's answer, or -1.
long heldModifiers(const std::filesystem::path& socketPath) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    uint8_t answer[4] = {};
    const timeval limit{5, 0};
    if (!fd || ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd.get(), "?", 1, 0) != 1 || ::recv(fd.get(), answer, sizeof answer, 0) != sizeof answer)
        return -1;
    return answer[0] | answer[1] << 8 | answer[2] << 16 | long(answer[3]) << 24;
}

void checkModifiers(const std::filesystem::path& runtime) {
    const auto socketPath = runtime / "modifiers";
    struct stat info {};
    check(::stat(socketPath.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600 && info.st_uid == 0,
          "the modifier socket is root's only (no session is active), mode 0600");
    check(heldModifiers(socketPath) == 0, "no modifier is held before any keyboard");
    UinputKeyboard keyboard;
    check(keyboard.create(), "a keyboard is created through uinput");
    keyboard.key(KEY_LEFTCTRL, 1);
    keyboard.key(KEY_RIGHTALT, 1);
    // The daemon looks for keyboards again at most every two seconds.
    long held = -1;
    waitUntil([&] { return (held = heldModifiers(socketPath)) == 0x14; });
    check(held == 0x14, "Ctrl and Alt held on the new keyboard are answered", std::to_string(held));
    keyboard.key(KEY_LEFTCTRL, 0);
    keyboard.key(KEY_RIGHTALT, 0);
    keyboard.key(KEY_LEFTSHIFT, 1);
    held = heldModifiers(socketPath);
    check(held == 0x01, "after their release, Shift alone", std::to_string(held));
    keyboard.key(KEY_LEFTSHIFT, 0);

    // Another seat's keyboard is another user's. Asked on for longer than the daemon waits before it
    // looks for keyboards again, once before Shift is held (so that the daemon has looked since udev's
    // entry was written) and once while it is.
    UinputKeyboard other;
    check(other.create() && other.placeOnSeat("seat1"), "a keyboard of seat1 is created");
    const auto answersNothingFor = [&](std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        bool nothing = true;
        while (std::chrono::steady_clock::now() < end) {
            nothing = nothing && heldModifiers(socketPath) == 0;
            std::this_thread::sleep_for(100ms);
        }
        return nothing;
    };
    check(answersNothingFor(2500ms), "nothing is held before Shift on seat1");
    other.key(KEY_LEFTSHIFT, 1);
    check(answersNothingFor(2500ms), "Shift held on the keyboard of seat1 is not answered");
}

class EvdevReader {
public:
    explicit EvdevReader(const std::string& node)
        : fd_(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        int clock = CLOCK_MONOTONIC;
        if (fd_)
            ::ioctl(fd_.get(), EVIOCSCLOCKID, &clock);
    }
    bool open() const { return bool(fd_); }

    // The events up to the next SYN_REPORT; empty when none came in time.
    std::vector<input_event> nextReport(std::chrono::milliseconds limit = 10s) {
        std::vector<input_event> events;
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            input_event event{};
            const ssize_t n = ::read(fd_.get(), &event, sizeof event);
            if (n == sizeof event) {
                events.push_back(event);
                if (event.type == EV_SYN && event.code == SYN_REPORT)
                    return events;
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return {};
            pollfd p{fd_.get(), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
        }
    }
    // Whether anything at all can be read within the time.
    bool quietFor(std::chrono::milliseconds limit) {
        pollfd p{fd_.get(), POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(limit.count())) == 0;
    }

private:
    UniqueFd fd_;
};

bool hasEvent(const std::vector<input_event>& events, uint16_t type, uint16_t code, int32_t value) {
    return std::any_of(events.begin(), events.end(), [&](const input_event& e) {
        return e.type == type && e.code == code && e.value == value;
    });
}

std::string describe(const std::vector<input_event>& events) {
    std::string text;
    for (const auto& e : events)
        text += std::to_string(e.type) + ":" + std::to_string(e.code) + ":" + std::to_string(e.value) + " ";
    return text.empty() ? "(nothing)" : text;
}

std::vector<uint8_t> mapButtonOneToRight() {
    std::vector<uint8_t> bytes(sizeof(OBX_BUTTON_MAP));
    obx::wire::storeU32(&bytes[0], sizeof(OBX_BUTTON_MAP));
    obx::wire::storeU32(&bytes[8], 1);
    obx::wire::storeU32(&bytes[12], 0x1); // button 1
    bytes[16] = OBX_MAP_BUTTONS;          // becomes
    obx::wire::storeU32(&bytes[17], 0x2); // the right button
    return bytes;
}

} // namespace

// The trackball's own node, once the kernel has made it.
std::optional<EvdevReader> ownReader() {
    std::optional<std::string> node;
    waitUntil([&] { return (node = eventNodeNamed(kName, false)).has_value(); });
    check(node.has_value(), "the trackball's own evdev node appears");
    if (!node)
        return std::nullopt;
    return std::make_optional<EvdevReader>(*node);
}

// A move reaches a reader of the trackball's own node: it is not grabbed.
bool ownNodeIsLive(Uhid& uhid, EvdevReader& own) {
    uhid.report(0, 1, 1);
    return hasEvent(own.nextReport(), EV_REL, REL_X, 1);
}

extern "C" char** environ;

int main(int argc, char** argv) {
    if (argc < 6 || std::strcmp(argv[4], "--") != 0) {
        std::fprintf(stderr,
                     "usage: obx_guest_probe RUNTIME_DIR VENDOR PRODUCT -- OBXKERND [ARGUMENTS...]\n");
        return 2;
    }
    const std::filesystem::path runtime = argv[1];
    const auto vendor = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 16));
    const auto product = static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 16));
    const auto control = runtime / "control-01";

    Uhid uhid;
    check(uhid.open(), "/dev/uhid opens", uhid.open() ? "" : std::strerror(errno));
    check(uhid.create(vendor, product), "the trackball is created");
    std::optional<EvdevReader> own = ownReader();
    check(own && ownNodeIsLive(uhid, *own), "before the daemon, the trackball's own node reports a move");

    const int64_t started = monotonicMicros();
    pid_t daemon = -1;
    check(::posix_spawn(&daemon, argv[5], nullptr, nullptr, argv + 5, environ) == 0, "obxkernd starts");
    const bool attached = waitUntil([&] { return std::filesystem::exists(control); });
    check(attached, "obxkernd attaches it: control-01 appears");
    std::printf("obx-guest: figure start_to_attach_ms=%lld\n",
                static_cast<long long>((monotonicMicros() - started) / 1000));
    struct stat info {};
    check(::stat(control.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600 && info.st_uid == 0,
          "control-01 is root's only (no session is active), mode 0600");
    std::optional<std::string> mouseNode;
    waitUntil([&] { return (mouseNode = eventNodeNamed(kName, true)).has_value(); });
    check(mouseNode.has_value(), "a uinput mouse named after the trackball appears");
    EvdevReader mouse(mouseNode.value_or("/nonexistent"));
    if (!attached || !mouse.open() || !own) {
        ::kill(daemon, SIGKILL);
        std::printf("obx-guest: result FAIL\n");
        return 1;
    }

    check(uhid.report(0x01), "a press is written to /dev/uhid");
    auto events = mouse.nextReport();
    check(hasEvent(events, EV_KEY, BTN_LEFT, 1), "button 1 comes out as BTN_LEFT", describe(events));
    uhid.report(0x00);
    events = mouse.nextReport();
    check(hasEvent(events, EV_KEY, BTN_LEFT, 0), "its release comes out", describe(events));

    // Motion, timed from the write to the uinput event's own time stamp (both monotonic).
    std::vector<int64_t> latencies;
    bool motionRight = true;
    for (int i = 0; i < 200; ++i) {
        const int64_t sent = monotonicMicros();
        uhid.report(0, 5, -3);
        events = mouse.nextReport();
        motionRight =
            motionRight && hasEvent(events, EV_REL, REL_X, 5) && hasEvent(events, EV_REL, REL_Y, -3);
        if (!events.empty())
            latencies.push_back(int64_t(events.back().input_event_sec) * 1000000 +
                                events.back().input_event_usec - sent);
    }
    check(motionRight && latencies.size() == 200, "200 moves come out as REL_X 5, REL_Y -3");
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        std::printf("obx-guest: figure latency_us p50=%lld p99=%lld n=%zu\n",
                    static_cast<long long>(latencies[latencies.size() / 2]),
                    static_cast<long long>(latencies[latencies.size() * 99 / 100]), latencies.size());
    check(own->quietFor(300ms), "the trackball's own evdev node stays silent while grabbed");

    try {
        ControlClient helper(control);
        const auto set = helper.control(IOCTL_OBX_SET_BUTTON_MAP, mapButtonOneToRight(), 0, kWait);
        check(set && set->status == 0, "a button map is set through control-01");
    } catch (const std::exception& e) {
        check(false, "control-01 opens", e.what());
    }
    uhid.report(0x01);
    events = mouse.nextReport();
    check(hasEvent(events, EV_KEY, BTN_RIGHT, 1) && !hasEvent(events, EV_KEY, BTN_LEFT, 1),
          "button 1 comes out remapped as BTN_RIGHT", describe(events));
    uhid.report(0x00);
    mouse.nextReport();

    checkModifiers(runtime);

    check(uhid.destroy(), "the trackball is unplugged");
    check(waitUntil([&] { return !std::filesystem::exists(control); }), "control-01 goes away");
    check(uhid.create(vendor, product), "the trackball is plugged in again");
    check(waitUntil([&] { return std::filesystem::exists(runtime / "control-02"); }),
          "the re-plugged trackball gets a control socket again");
    own = ownReader();

    ::kill(daemon, SIGTERM);
    int status = 0;
    check(::waitpid(daemon, &status, 0) == daemon && WIFEXITED(status) && WEXITSTATUS(status) == 0,
          "obxkernd stops cleanly on SIGTERM");
    check(own && ownNodeIsLive(uhid, *own), "after the daemon, the trackball's own node reports again");
    uhid.destroy();

    std::printf("obx-guest: result %s\n", failures == 0 ? "PASS" : "FAIL");
    return failures == 0 ? 0 : 1;
}
