// The guest side of the real-kernel test: run as root inside a small virtual machine where obxkernd
// serves the trackball models of its devices.conf. It plugs in a trackball through /dev/uhid with the
// virtual trackball's own descriptor and checks what the kernel shows: reports coming out on the
// daemon's uinput mouse, the trackball's own evdev node silent while grabbed, a button remapped
// through control-01, the modifier keys of a uinput keyboard on the modifier socket, and control-01
// gone after the unplug, the reports queued while the daemon is stopped, and the corpus of real
// descriptors beside hid-generic (GuestCorpus.h). Each check prints one line; the last line
// says whether all passed. Usage: obx_guest_probe [--load] RUNTIME_DIR VENDOR PRODUCT -- OBXKERND ARGS

#include "ControlClient.h"
#include "GuestCorpus.h"
#include "GuestLoad.h"
#include "GuestSupport.h"
#include "driver/shared/ObxControl.h"
#include "virtual/VirtualTrackball.h"
#include "wire/PointingDeviceWire.h"

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
using namespace obx::guest;

constexpr const char* kName = "Guest Test Trackball";

bool plug(Uhid& uhid, uint16_t vendor, uint16_t product) {
    return uhid.create(kName, vendor, product, obx::kernd::builtInDescriptor());
}

// The built-in layout: buttons, X, Y, wheel, pan.
bool send(Uhid& uhid, uint8_t buttons, int8_t x = 0, int8_t y = 0) {
    const uint8_t bytes[5] = {buttons, uint8_t(x), uint8_t(y), 0, 0};
    return uhid.report(bytes);
}

bool stopped(pid_t pid) {
    // The state is the first field after the command's closing parenthesis.
    const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
    const size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'T';
}

// hidraw keeps a reader's reports while it does not read: a daemon stopped for a moment finds them
// all when it goes on, and hands every one on in order. Its queue of 64 slots keeps one free, so 63 is
// the most it keeps; the next report is dropped by the kernel, whoever reads.
void checkStoppedDaemonLosesNothing(Uhid& uhid, EvdevReader& mouse, pid_t daemon) {
    constexpr int kQueued = 63;
    ::kill(daemon, SIGSTOP);
    check(waitUntil([&] { return stopped(daemon); }), "obxkernd is stopped (SIGSTOP)");
    for (int i = 1; i <= kQueued; ++i)
        send(uhid, 0, static_cast<int8_t>(i));
    ::kill(daemon, SIGCONT);
    std::vector<int> moves;
    for (std::vector<input_event> events; moves.size() < kQueued && !(events = mouse.nextReport()).empty();) {
        for (const input_event& e : events) {
            if (e.type == EV_REL && e.code == REL_X)
                moves.push_back(e.value);
        }
    }
    std::vector<int> expected(kQueued);
    for (int i = 0; i < kQueued; ++i)
        expected[i] = i + 1;
    std::string got;
    for (int x : moves)
        got += std::to_string(x) + " ";
    check(moves == expected,
          "the 63 reports that hidraw keeps while obxkernd is stopped come out after SIGCONT, in order", got);
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

std::vector<uint8_t> mapButtonOneToRight() {
    std::vector<uint8_t> bytes(sizeof(OBX_BUTTON_MAP));
    obx::wire::storeU32(&bytes[0], sizeof(OBX_BUTTON_MAP));
    obx::wire::storeU32(&bytes[8], 1);
    obx::wire::storeU32(&bytes[12], 0x1); // button 1
    bytes[16] = OBX_MAP_BUTTONS;          // becomes
    obx::wire::storeU32(&bytes[17], 0x2); // the right button
    return bytes;
}

// The next message of a SEQPACKET connection as text, empty after 10 s without one.
std::string nextMessage(int fd) {
    pollfd p{fd, POLLIN, 0};
    char text[8192];
    const ssize_t n = ::poll(&p, 1, 10000) == 1 ? ::recv(fd, text, sizeof text, 0) : -1;
    return n > 0 ? std::string(text, size_t(n)) : std::string();
}

// Sends a request on the pointing-devices socket; its answer ("ok", "error: ..."), after the lists that
// the request made the daemon send, which go to `lists`.
std::string request(int fd, const std::string& text, std::vector<std::string>& lists) {
    ::send(fd, text.data(), text.size(), 0);
    for (std::string message; !(message = nextMessage(fd)).empty();) {
        if (!message.starts_with("pointing-devices"))
            return message;
        lists.push_back(message);
    }
    return "(no answer)";
}

// Taking a device serves it at once: it leaves the list and gets a mouse of the daemon's; letting it go
// gives the kernel's input back and lists it again.
void checkChoosing(int fd, Uhid& other, uint16_t vendor, uint16_t unlisted) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, unlisted);
    std::vector<std::string> lists;
    check(request(fd, "take zz", lists).starts_with("error: "), "a malformed request is refused");
    check(request(fd, "release fff0:0001", lists).starts_with("error: "),
          "a device that devices.conf lists cannot be let go");
    std::string answer = request(fd, std::string("take ") + ids, lists);
    check(answer == "ok" && !lists.empty() && lists.back() == "pointing-devices 0\n",
          "a chosen device is served at once and leaves the list", answer);
    check(waitUntil([&] { return eventNodeNamed("Guest Other Pointer", true).has_value(); }),
          "the chosen device gets a mouse of the daemon's");
    other.destroy();
    check(waitUntil([&] { return !eventNodeNamed("Guest Other Pointer", true).has_value(); }),
          "it is unplugged");
    other.create("Guest Other Pointer", vendor, unlisted, obx::kernd::builtInDescriptor());
    check(waitUntil([&] { return eventNodeNamed("Guest Other Pointer", true).has_value(); }),
          "plugged in again, it is served again");
    {
        EvdevReader served(eventNodeNamed("Guest Other Pointer", true).value_or("/nonexistent"));
        EvdevReader own(eventNodeNamed("Guest Other Pointer", false).value_or("/nonexistent"));
        send(other, 0, 1, 1);
        check(served.open() && hasEvent(served.nextReport(), EV_REL, REL_X, 1),
              "its moves come out on the daemon's mouse");
        check(own.open() && own.quietFor(300ms), "and not on its own evdev node, which the daemon grabbed");
    }
    lists.clear();
    answer = request(fd, std::string("release ") + ids, lists);
    check(answer == "ok" && !lists.empty() && lists.back().starts_with("pointing-devices 1\n"),
          "a device let go is listed again", answer);
    check(waitUntil([&] { return !eventNodeNamed("Guest Other Pointer", true).has_value(); }),
          "and its mouse of the daemon's goes");
    const std::optional<std::string> ownNode = eventNodeNamed("Guest Other Pointer", false);
    EvdevReader own(ownNode.value_or("/nonexistent"));
    send(other, 0, 1, 1);
    check(own.open() && hasEvent(own.nextReport(), EV_REL, REL_X, 1), "its own evdev node reports again");
    check(request(fd, std::string("release ") + ids, lists).starts_with("error: "),
          "a device not chosen cannot be let go");
}

// The pointing devices that the daemon does not serve are told on their own socket, as they come and go.
void checkPointingDevices(const std::filesystem::path& runtime, uint16_t vendor, uint16_t unlisted) {
    const auto socketPath = runtime / obx::wire::kPointingDeviceSocketName;
    struct stat info {};
    check(::stat(socketPath.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600 && info.st_uid == 0,
          "the pointing-devices socket is root's only (no session is active), mode 0600");
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    const bool connected =
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    std::string list = connected ? nextMessage(fd.get()) : "";
    check(list == "pointing-devices 0\n", "the pointing-devices socket lists none at first", list);
    Uhid other;
    other.create("Guest Other Pointer", vendor, unlisted, obx::kernd::builtInDescriptor());
    list = nextMessage(fd.get());
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "pointing-devices 1\n%04x:%04x\t0003\t8\t1\t1\t\tGUEST-1\tGuest Other Pointer\n", vendor,
                  unlisted);
    check(list == expected, "a pointing device that no file lists is told when it arrives", list);
    checkChoosing(fd.get(), other, vendor, unlisted);
    other.destroy();
    list = nextMessage(fd.get());
    check(list == "pointing-devices 0\n", "and again when it leaves", list);
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
    send(uhid, 0, 1, 1);
    return hasEvent(own.nextReport(), EV_REL, REL_X, 1);
}

extern "C" char** environ;

// The load benchmark alone (--load): the daemon, and then the figures.
int loadBenchmark(uint16_t vendor, uint16_t product, char** daemonArgv) {
    pid_t daemon = -1;
    check(::posix_spawn(&daemon, daemonArgv[0], nullptr, nullptr, daemonArgv, environ) == 0,
          "obxkernd starts");
    runLoadBenchmark(vendor, product, static_cast<uint16_t>(product + 0x10), daemon);
    ::kill(daemon, SIGTERM);
    ::waitpid(daemon, nullptr, 0);
    std::printf("obx-guest: result %s\n", allPassed() ? "PASS" : "FAIL");
    return allPassed() ? 0 : 1;
}

int main(int argc, char** argv) {
    const bool load = argc > 1 && std::strcmp(argv[1], "--load") == 0;
    if (load) {
        --argc;
        ++argv;
    }
    if (argc < 6 || std::strcmp(argv[4], "--") != 0) {
        std::fprintf(
            stderr,
            "usage: obx_guest_probe [--load] RUNTIME_DIR VENDOR PRODUCT -- OBXKERND [ARGUMENTS...]\n");
        return 2;
    }
    if (load)
        return loadBenchmark(static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 16)),
                             static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 16)), argv + 5);
    const std::filesystem::path runtime = argv[1];
    const auto vendor = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 16));
    const auto product = static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 16));
    const auto control = runtime / "control-01";

    Uhid uhid;
    check(uhid.open(), "/dev/uhid opens", uhid.open() ? "" : std::strerror(errno));
    check(plug(uhid, vendor, product), "the trackball is created");
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

    check(send(uhid, 0x01), "a press is written to /dev/uhid");
    auto events = mouse.nextReport();
    check(hasEvent(events, EV_KEY, BTN_LEFT, 1), "button 1 comes out as BTN_LEFT", describe(events));
    send(uhid, 0x00);
    events = mouse.nextReport();
    check(hasEvent(events, EV_KEY, BTN_LEFT, 0), "its release comes out", describe(events));

    // Motion, timed from the write to the uinput event's own time stamp (both monotonic).
    std::vector<int64_t> latencies;
    bool motionRight = true;
    for (int i = 0; i < 200; ++i) {
        const int64_t sent = monotonicMicros();
        send(uhid, 0, 5, -3);
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
    checkStoppedDaemonLosesNothing(uhid, mouse, daemon);

    try {
        ControlClient helper(control);
        const auto set = helper.control(IOCTL_OBX_SET_BUTTON_MAP, mapButtonOneToRight(), 0, kWait);
        check(set && set->status == 0, "a button map is set through control-01");
    } catch (const std::exception& e) {
        check(false, "control-01 opens", e.what());
    }
    send(uhid, 0x01);
    events = mouse.nextReport();
    check(hasEvent(events, EV_KEY, BTN_RIGHT, 1) && !hasEvent(events, EV_KEY, BTN_LEFT, 1),
          "button 1 comes out remapped as BTN_RIGHT", describe(events));
    send(uhid, 0x00);
    mouse.nextReport();

    checkModifiers(runtime);

    check(uhid.destroy(), "the trackball is unplugged");
    check(waitUntil([&] { return !std::filesystem::exists(control); }), "control-01 goes away");
    check(plug(uhid, vendor, product), "the trackball is plugged in again");
    check(waitUntil([&] { return std::filesystem::exists(runtime / "control-02"); }),
          "the re-plugged trackball gets a control socket again");
    own = ownReader();

    checkPointingDevices(runtime, vendor, static_cast<uint16_t>(product + 2));

    // Products of the corpus: the guest's devices.conf lists the first, not the second.
    runCorpus("/obx/corpus", runtime, vendor, static_cast<uint16_t>(product + 1),
              static_cast<uint16_t>(product + 2));

    ::kill(daemon, SIGTERM);
    int status = 0;
    check(::waitpid(daemon, &status, 0) == daemon && WIFEXITED(status) && WEXITSTATUS(status) == 0,
          "obxkernd stops cleanly on SIGTERM");
    check(own && ownNodeIsLive(uhid, *own), "after the daemon, the trackball's own node reports again");
    uhid.destroy();

    std::printf("obx-guest: result %s\n", allPassed() ? "PASS" : "FAIL");
    return allPassed() ? 0 : 1;
}
