// The obxkernd program, run in a folder of its own and spoken to through its sockets.

#include "ControlClient.h"
#include "driver/shared/ObxControl.h"
#include "support/DaemonProcess.h"

#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace obx::test {
namespace {

using kernd::ControlClient;
using kernd::WireCompletion;

constexpr uint32_t kFailed = 0xFFFFFFFF; // no completion came

std::vector<uint8_t> u32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

template <typename Record>
Record recordOf(const WireCompletion& c) {
    Record r{};
    EXPECT_EQ(c.output.size(), sizeof r);
    std::memcpy(&r, c.output.data(), std::min(c.output.size(), sizeof r));
    return r;
}

WireCompletion call(ControlClient& client, uint32_t code, const std::vector<uint8_t>& input = {},
                    uint32_t outputLength = 0) {
    return client.control(code, input, outputLength, kWait).value_or(WireCompletion{0, kFailed, {}});
}

WireCompletion completionOf(ControlClient& client, uint32_t id) {
    return client.waitFor(id, kWait).value_or(WireCompletion{0, kFailed, {}});
}

struct MapEntrySpec {
    uint32_t buttons;
    uint8_t kind;
    uint32_t data; // output mask, or action | amount << 8
};

// Written byte by byte at the record's offsets: GCC 12 at -O2 can lose a field store into a local packed
// OBX_BUTTON_MAP (scalar replacement of aggregates), and the offsets are what the wire carries anyway.
std::vector<uint8_t> buttonMap(uint32_t chordMask, const std::vector<MapEntrySpec>& entries) {
    std::vector<uint8_t> bytes(sizeof(OBX_BUTTON_MAP));
    wire::storeU32(&bytes[0], sizeof(OBX_BUTTON_MAP));
    wire::storeU32(&bytes[4], chordMask);
    wire::storeU32(&bytes[8], static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* entry = &bytes[12 + i * sizeof(OBX_BUTTON_MAP_ENTRY)];
        wire::storeU32(entry, entries[i].buttons);
        entry[4] = entries[i].kind;
        wire::storeU32(entry + 5, entries[i].data);
    }
    return bytes;
}

std::u16string stringField(const uint16_t* chars) {
    std::u16string s;
    for (size_t i = 0; i < OBX_DEVICE_STRING_CHARS && chars[i] != 0; ++i)
        s.push_back(static_cast<char16_t>(chars[i]));
    return s;
}

// A client of the socket that plugs virtual trackballs: one request, one answer.
class PlugClient {
public:
    explicit PlugClient(const std::filesystem::path& path)
        : fd_(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const timeval timeout{10, 0};
        ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        connected_ = ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    std::string ask(const std::string& request) {
        if (!connected_ || ::send(fd_.get(), request.data(), request.size(), 0) < 0)
            return "(not sent)";
        return receive();
    }
    std::string receive() {
        char answer[128];
        const auto length = ::recv(fd_.get(), answer, sizeof answer, 0);
        return length < 0 ? "(no answer)" : std::string(answer, static_cast<size_t>(length));
    }

private:
    kernd::UniqueFd fd_;
    bool connected_ = false;
};

class Obxkernd : public ::testing::Test {
protected:
    void startWith(const std::vector<std::string>& args) {
        ASSERT_TRUE(daemon.start(args)) << daemon.errorOutput();
    }

    DaemonProcess daemon{OBXKERND_PATH};
};

// One virtual trackball, its peer and a helper's handle.
class OneTrackball : public Obxkernd {
protected:
    void SetUp() override {
        startWith({"--virtual"});
        peer.emplace(daemon.runtimeDir(), 1);
        helper.emplace(daemon.socket("control-01"));
    }
    std::string packet() { return peer->nextPacket().value_or("(no packet)"); }
    void openAsHelper(ControlClient& client) {
        EXPECT_EQ(call(client, IOCTL_OBX_GET_DRIVER_INFO, {}, 8).status, OBX_STATUS_SUCCESS);
        EXPECT_EQ(call(client, IOCTL_OBX_GET_DEVICE_INFO, {}, 514).status, OBX_STATUS_SUCCESS);
        EXPECT_EQ(call(client, IOCTL_OBX_REGISTER_HELPER).status, OBX_STATUS_SUCCESS);
    }
    // A packet that proves that nothing was sent before it.
    void expectNothingBeforeAMove() {
        ASSERT_TRUE(peer->send(0, 3, 4));
        EXPECT_EQ(packet(), packetText(0, 0, 3, 4));
    }

    std::optional<VirtualPeer> peer;
    std::optional<ControlClient> helper;
};

TEST_F(OneTrackball, SocketsAreThereForEveryone) {
    for (const char* name : {"control-01", "virtual-01.in", "virtual-01.out"}) {
        struct stat info {};
        ASSERT_EQ(::stat(daemon.socket(name).c_str(), &info), 0) << name;
        EXPECT_TRUE(S_ISSOCK(info.st_mode)) << name;
        EXPECT_EQ(info.st_mode & 0777, 0666u) << name;
    }
}

TEST_F(OneTrackball, HelperOpenSequence) {
    const WireCompletion driverInfo = call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 8);
    EXPECT_EQ(driverInfo.status, OBX_STATUS_SUCCESS);
    const auto info = recordOf<OBX_DRIVER_INFO>(driverInfo);
    EXPECT_EQ(info.Size, 8u);
    EXPECT_EQ(info.Version, 0x02020000u);

    const WireCompletion deviceInfo = call(*helper, IOCTL_OBX_GET_DEVICE_INFO, {}, 514);
    EXPECT_EQ(deviceInfo.status, OBX_STATUS_SUCCESS);
    const auto device = recordOf<OBX_DEVICE_INFO>(deviceInfo);
    EXPECT_EQ(device.ProductId, 0x0001);
    EXPECT_EQ(device.VersionNumber, 0x0100);
    EXPECT_EQ(stringField(device.ProductString), u"Virtual Trackball");
    EXPECT_EQ(stringField(device.SerialNumberString), u"VIRTUAL-01");

    const WireCompletion registered = call(*helper, IOCTL_OBX_REGISTER_HELPER);
    EXPECT_EQ(registered.status, OBX_STATUS_SUCCESS);
    EXPECT_TRUE(registered.output.empty());

    // The first read waits; a later request completes before it.
    const uint32_t read = helper->submitRead();
    const uint32_t query = helper->submit(wire::kKindDeviceControl, IOCTL_OBX_GET_SLOW_POINTER, {}, 4);
    const auto first = helper->next(kWait);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->id, query);
    EXPECT_EQ(first->output, u32(0));

    // Button 6 is not in the default map: it goes to the helper.
    ASSERT_TRUE(peer->send(0x20));
    const WireCompletion event = completionOf(*helper, read);
    EXPECT_EQ(event.status, OBX_STATUS_SUCCESS);
    const auto e = recordOf<OBX_BUTTON_EVENT>(event);
    EXPECT_EQ(e.Flags, OBX_BUTTON_EVENT_FLAGS);
    EXPECT_EQ(e.Pressed, 0x20u);
    EXPECT_EQ(e.Released, 0u);
    EXPECT_GT(e.TimeMs, 0u);
}

TEST_F(Obxkernd, IdentityOptionsReachTheDeviceInformation) {
    startWith({"--virtual", "--product-id", "0x0F00", "--version", "7", "--product", "Ball \xC3\xA9",
               "--serial", "S-1"});
    ControlClient client(daemon.socket("control-01"));
    const auto device = recordOf<OBX_DEVICE_INFO>(call(client, IOCTL_OBX_GET_DEVICE_INFO, {}, 514));
    EXPECT_EQ(device.ProductId, 0x0F00);
    EXPECT_EQ(device.VersionNumber, 7);
    EXPECT_EQ(stringField(device.ProductString), u"Ball \u00E9");
    EXPECT_EQ(stringField(device.SerialNumberString), u"S-1");
}

TEST_F(OneTrackball, ErrorStatuses) {
    EXPECT_EQ(call(*helper, 0x00222010).status, OBX_STATUS_INVALID_DEVICE_REQUEST); // function 0x804
    EXPECT_EQ(call(*helper, IOCTL_OBX_SET_SLOW_POINTER, {1, 0}).status, OBX_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(call(*helper, IOCTL_OBX_GET_SLOW_POINTER, {}, 4).output, u32(0)); // unchanged
    EXPECT_EQ(call(*helper, IOCTL_OBX_GET_DEVICE_INFO, {}, 200).status, OBX_STATUS_BUFFER_TOO_SMALL);
    std::vector<uint8_t> inject(sizeof(OBX_INJECT_BUTTONS));
    inject[4] = 2; // kind
    EXPECT_EQ(call(*helper, IOCTL_OBX_INJECT_BUTTONS, inject).status, OBX_STATUS_INVALID_PARAMETER);
    // No writes, and nothing else either.
    const WireCompletion write = completionOf(*helper, helper->submit(3, 0, std::vector<uint8_t>{1, 2}, 0));
    EXPECT_EQ(write.status, OBX_STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_TRUE(write.output.empty());
    // A read too small for an event fails at once.
    const WireCompletion small = completionOf(*helper, helper->submitRead(41));
    EXPECT_EQ(small.status, OBX_STATUS_BUFFER_TOO_SMALL);
    EXPECT_TRUE(small.output.empty());
    // Larger buffers than any system would allocate.
    EXPECT_EQ(call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 0x10000000).status,
              OBX_STATUS_INSUFFICIENT_RESOURCES);
    // The connection goes on after every one of them.
    EXPECT_EQ(call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 8).status, OBX_STATUS_SUCCESS);
}

TEST_F(OneTrackball, SettingsCompleteWithTheirInputSize) {
    const WireCompletion set = call(*helper, IOCTL_OBX_SET_SINGLE_AXIS, u32(2));
    EXPECT_EQ(set.status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(set.output, u32(2)); // the buffered transfer's one buffer
    EXPECT_EQ(call(*helper, IOCTL_OBX_GET_SINGLE_AXIS, {}, 4).output, u32(1));
    std::vector<uint8_t> scroll = {7, 1, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(call(*helper, IOCTL_OBX_SET_SCROLL_PARAMS, scroll).output.size(), 8u);
    EXPECT_EQ(call(*helper, IOCTL_OBX_GET_SCROLL_PARAMS, {1}, 8).output,
              std::vector<uint8_t>({1, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(call(*helper, IOCTL_OBX_GET_SCROLL_PARAMS, {0}, 8).output, std::vector<uint8_t>(8, 0));
}

TEST_F(OneTrackball, DefaultMapMakesMouseButtons) {
    const uint16_t down[] = {0x0001, 0x0004, 0x0010, 0x0040, 0x0100};
    for (int b = 0; b < 5; ++b) {
        ASSERT_TRUE(peer->send(uint8_t(1u << b)));
        EXPECT_EQ(packet(), packetText(down[b]));
        ASSERT_TRUE(peer->send(0));
        EXPECT_EQ(packet(), packetText(uint16_t(down[b] << 1)));
    }
    ASSERT_TRUE(peer->send(0, -128, 127));
    EXPECT_EQ(packet(), packetText(0, 0, -128, 127));
    ASSERT_TRUE(peer->send(0, 0, 0, -2));
    EXPECT_EQ(packet(), packetText(0x0400, -240));
}

TEST_F(OneTrackball, PanScrollsSideways) {
    ASSERT_TRUE(peer->send(0, 0, 0, 0, -1));
    EXPECT_EQ(packet(), packetText(0x0800, -120));
    ASSERT_TRUE(peer->send(0, 0, 0, 0, -1)); // held: the action repeats
    EXPECT_EQ(packet(), packetText(0x0800, -120));
    ASSERT_TRUE(peer->send(0, 0, 0, 0, 1));
    EXPECT_EQ(packet(), packetText(0x0800, 120));
    ASSERT_TRUE(peer->send(0));
    expectNothingBeforeAMove();
}

TEST_F(OneTrackball, SlowPointerDividesMovementKeepingRemainders) {
    EXPECT_EQ(call(*helper, IOCTL_OBX_SET_SLOW_POINTER, u32(1)).status, OBX_STATUS_SUCCESS);
    ASSERT_TRUE(peer->send(0, 12, -7));
    EXPECT_EQ(packet(), packetText(0, 0, 2, -1)); // remainders 2 and -2
    ASSERT_TRUE(peer->send(0, 3, -3));
    EXPECT_EQ(packet(), packetText(0, 0, 1, -1));
}

TEST_F(OneTrackball, SingleAxisKeepsTheDominantAxis) {
    EXPECT_EQ(call(*helper, IOCTL_OBX_SET_SINGLE_AXIS, u32(1)).status, OBX_STATUS_SUCCESS);
    ASSERT_TRUE(peer->send(0, 10, 3));
    EXPECT_EQ(packet(), packetText(0, 0, 10, 0));
    ASSERT_TRUE(peer->send(0, 2, -9));
    EXPECT_EQ(packet(), packetText(0, 0, 0, -9));
}

TEST_F(OneTrackball, ChordWithHelperRegisteredClicksItsEntry) {
    openAsHelper(*helper);
    // Buttons 1 and 2 together make a middle click; alone each is its mouse button.
    ASSERT_EQ(call(*helper, IOCTL_OBX_SET_BUTTON_MAP,
                   buttonMap(0x3, {{0x1, OBX_MAP_BUTTONS, 0x1},
                                   {0x2, OBX_MAP_BUTTONS, 0x2},
                                   {0x3, OBX_MAP_BUTTONS, 0x4}}))
                  .status,
              OBX_STATUS_SUCCESS);
    ASSERT_TRUE(peer->send(0x03));
    EXPECT_EQ(packet(), packetText(0x0010)); // when the chord window ends
    EXPECT_EQ(packet(), packetText(0x0020));
    ASSERT_TRUE(peer->send(0x00)); // the releases are swallowed
    expectNothingBeforeAMove();
    // A lone press is held for the window, then replayed.
    ASSERT_TRUE(peer->send(0x01));
    EXPECT_EQ(packet(), packetText(0x0001));
}

TEST_F(OneTrackball, ChordWithoutEntryGoesToTheHelper) {
    openAsHelper(*helper);
    ASSERT_EQ(call(*helper, IOCTL_OBX_SET_BUTTON_MAP, buttonMap(0x3, {})).status, OBX_STATUS_SUCCESS);
    const uint32_t first = helper->submitRead();
    const uint32_t second = helper->submitRead();
    ASSERT_TRUE(peer->send(0x03));
    const auto pressed = recordOf<OBX_BUTTON_EVENT>(completionOf(*helper, first));
    const auto released = recordOf<OBX_BUTTON_EVENT>(completionOf(*helper, second));
    EXPECT_EQ(pressed.Pressed, 0x3u);
    EXPECT_EQ(pressed.Released, 0u);
    EXPECT_EQ(released.Pressed, 0u);
    EXPECT_EQ(released.Released, 0x3u);
}

TEST_F(OneTrackball, AGestureHeldKeepsThePointerStillAndReachesTheHelperAsItsEvent) {
    openAsHelper(*helper);
    const uint32_t once = OBX_GESTURE_TRAVEL_ONCE | 20u << 16; // threshold 20
    ASSERT_EQ(call(*helper, IOCTL_OBX_SET_BUTTON_MAP, buttonMap(0, {{0x20, OBX_MAP_GESTURE, once}})).status,
              OBX_STATUS_SUCCESS);
    const uint32_t read = helper->submitRead();
    ASSERT_TRUE(peer->send(0x20, 5, -30) && peer->send(0x00));
    const auto e = recordOf<OBX_GESTURE_EVENT>(completionOf(*helper, read));
    EXPECT_EQ(e.Flags, OBX_GESTURE_EVENT_FLAGS);
    EXPECT_EQ(e.Direction, OBX_GESTURE_UP);
    expectNothingBeforeAMove();
}

TEST_F(OneTrackball, ScrollModeTurnsMovementIntoWheel) {
    // Button 3 toggles scroll mode at the highest speed.
    ASSERT_EQ(call(*helper, IOCTL_OBX_SET_BUTTON_MAP,
                   buttonMap(0, {{0x4, OBX_MAP_ACTION, OBX_ACTION_SCROLL_MODE | 10u << 8}}))
                  .status,
              OBX_STATUS_SUCCESS);
    ASSERT_TRUE(peer->send(0x04));
    ASSERT_TRUE(peer->send(0x00));
    ASSERT_TRUE(peer->send(0, 0, 5));
    EXPECT_EQ(packet(), packetText(0x0400, -600));
    EXPECT_EQ(packet(), packetText(0)); // the movement, all of it taken by the scrolling
    ASSERT_TRUE(peer->send(0x04));      // off again
    ASSERT_TRUE(peer->send(0x00));
    expectNothingBeforeAMove();
}

TEST_F(OneTrackball, InertiaKeepsTheWheelTurning) {
    ASSERT_EQ(call(*helper, IOCTL_OBX_SET_SCROLL_PARAMS, {0, 0, 1, 0, 0, 0, 0, 0}).status,
              OBX_STATUS_SUCCESS);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(peer->send(0, 0, 0, 1));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(packet(), packetText(0x0400, 120)) << "notch " << i;
    // Velocity 100, 80, 64, 51 hundredths of a step, each rounded to one step; at 40 it stops.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(packet(), packetText(0x0400, 120)) << "inertia tick " << i;
    expectNothingBeforeAMove();
}

TEST_F(OneTrackball, EventsGoToTheOldestWaitingReadOfAnyClient) {
    ControlClient other(daemon.socket("control-01"));
    const uint32_t mine = helper->submitRead();
    call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 8); // the read is queued before the other's
    const uint32_t theirs = other.submitRead();
    call(other, IOCTL_OBX_GET_DRIVER_INFO, {}, 8);
    ASSERT_TRUE(peer->send(0x80));
    EXPECT_EQ(recordOf<OBX_BUTTON_EVENT>(completionOf(*helper, mine)).Pressed, 0x80u);
    ASSERT_TRUE(peer->send(0x00));
    EXPECT_EQ(recordOf<OBX_BUTTON_EVENT>(completionOf(other, theirs)).Released, 0x80u);
}

TEST_F(OneTrackball, AConnectionHasAtMostEightWaitingReads) {
    std::vector<uint32_t> reads;
    for (int i = 0; i < 8; ++i)
        reads.push_back(helper->submitRead());
    const uint32_t ninth = helper->submitRead();
    const WireCompletion refused = completionOf(*helper, ninth);
    EXPECT_EQ(refused.status, OBX_STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(refused.output.empty());
    // Another connection has its own allowance, and a completed read frees its place.
    ControlClient other(daemon.socket("control-01"));
    const uint32_t theirs = other.submitRead();
    call(other, IOCTL_OBX_GET_DRIVER_INFO, {}, 8);
    ASSERT_TRUE(peer->send(0x20));
    EXPECT_EQ(recordOf<OBX_BUTTON_EVENT>(completionOf(*helper, reads[0])).Pressed, 0x20u);
    const uint32_t again = helper->submitRead();
    call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 8);
    // Seven more for the first connection, one for the other, one for the read made last.
    for (int i = 1; i < 10; ++i)
        ASSERT_TRUE(peer->send(i % 2 == 1 ? 0 : 0x20));
    for (size_t i = 1; i < reads.size(); ++i)
        EXPECT_EQ(completionOf(*helper, reads[i]).status, OBX_STATUS_SUCCESS) << i;
    EXPECT_EQ(completionOf(other, theirs).status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(completionOf(*helper, again).status, OBX_STATUS_SUCCESS);
}

TEST_F(OneTrackball, ClosingWithAReadPendingEndsItsReadAndRegistration) {
    openAsHelper(*helper);
    ASSERT_EQ(call(*helper, IOCTL_OBX_SET_BUTTON_MAP, buttonMap(0x3, {{0x3, OBX_MAP_BUTTONS, 0x4}})).status,
              OBX_STATUS_SUCCESS);
    helper->submitRead();
    call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 8);
    helper.reset();

    ControlClient next(daemon.socket("control-01"));
    const uint32_t read = next.submitRead();
    // The closed handle's read does not take the event.
    ASSERT_TRUE(peer->send(0x40));
    EXPECT_EQ(recordOf<OBX_BUTTON_EVENT>(completionOf(next, read)).Pressed, 0x40u);
    ASSERT_TRUE(peer->send(0x00));
    // Nobody is registered now: chord presses are dropped.
    ASSERT_TRUE(peer->send(0x03));
    ASSERT_TRUE(peer->send(0x00));
    expectNothingBeforeAMove();
}

TEST_F(OneTrackball, MalformedMessageClosesOnlyThatConnection) {
    const uint32_t read = helper->submitRead();
    call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 8);
    const std::vector<std::vector<uint8_t>> malformed = {
        {1, 2, 3},                                                                   // too short
        {1, 0, 0, 0, 1, 0, 0, 0, 0x0C, 0x20, 0x22, 0, 4, 0, 0, 0, 8, 0, 0, 0, 9},    // 1 of 4 input bytes
        {1, 0, 0, 0, 1, 0, 0, 0, 0x0C, 0x20, 0x22, 0, 0, 0, 0, 0, 8, 0, 0, 0, 9, 9}, // 2 bytes too many
    };
    for (const auto& message : malformed) {
        kernd::UniqueFd bad = connectSeqPacket(daemon.socket("control-01"));
        ASSERT_EQ(::send(bad.get(), message.data(), message.size(), MSG_NOSIGNAL), ssize_t(message.size()));
        EXPECT_TRUE(waitClosed(bad.get()));
    }
    EXPECT_EQ(call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 8).status, OBX_STATUS_SUCCESS);
    ASSERT_TRUE(peer->send(0x20));
    EXPECT_EQ(recordOf<OBX_BUTTON_EVENT>(completionOf(*helper, read)).Pressed, 0x20u);
}

TEST_F(OneTrackball, StopCancelsReadsAndRemovesTheSockets) {
    const uint32_t read = helper->submitRead();
    call(*helper, IOCTL_OBX_GET_DRIVER_INFO, {}, 8);
    EXPECT_EQ(daemon.stop(SIGTERM), 0);
    const WireCompletion cancelled = completionOf(*helper, read);
    EXPECT_EQ(cancelled.status, OBX_STATUS_CANCELLED);
    EXPECT_TRUE(cancelled.output.empty());
    for (const char* name : {"control-01", "virtual-01.in", "virtual-01.out"})
        EXPECT_FALSE(std::filesystem::exists(daemon.socket(name))) << name;
    EXPECT_TRUE(std::filesystem::is_directory(daemon.runtimeDir()));
}

TEST_F(Obxkernd, RestartsAfterAStopAndAfterACrash) {
    startWith({"--virtual"});
    EXPECT_EQ(daemon.stop(SIGINT), 0);
    startWith({"--virtual"});
    {
        VirtualPeer peer(daemon.runtimeDir(), 1);
        ASSERT_TRUE(peer.send(1));
        EXPECT_EQ(peer.nextPacket(), packetText(0x0001));
    }
    EXPECT_EQ(daemon.stop(SIGINT), 0);
    startWith({"--virtual", "--virtual"});
    daemon.stop(SIGKILL); // leaves its sockets behind
    ASSERT_TRUE(std::filesystem::exists(daemon.socket("control-02")));
    startWith({"--virtual"});
    ControlClient client(daemon.socket("control-01"));
    EXPECT_EQ(call(client, IOCTL_OBX_GET_DRIVER_INFO, {}, 8).status, OBX_STATUS_SUCCESS);
    // Clients take a socket file for a trackball that is there.
    for (const char* name : {"control-02", "virtual-02.in", "virtual-02.out"})
        EXPECT_FALSE(std::filesystem::exists(daemon.socket(name)))
            << name << " of the trackball the crash took";
}

TEST_F(Obxkernd, ASecondDaemonDoesNotTakeTheSockets) {
    startWith({"--virtual"});
    DaemonProcess second(OBXKERND_PATH);
    second.launch({"--runtime-dir", daemon.runtimeDir().string(), "--virtual"});
    EXPECT_EQ(second.waitExit(), 1);
    EXPECT_NE(second.errorOutput().find("another daemon serves it"), std::string::npos)
        << second.errorOutput();
    ControlClient client(daemon.socket("control-01"));
    EXPECT_EQ(call(client, IOCTL_OBX_GET_DRIVER_INFO, {}, 8).status, OBX_STATUS_SUCCESS);
}

TEST_F(Obxkernd, RuntimeFolderFromTheEnvironmentIsCreated) {
    const std::filesystem::path folder = daemon.runtimeDir() / "nested" / "deeper";
    ASSERT_TRUE(daemon.start({"--virtual"}, false, {"OBX_RUNTIME_DIR=" + folder.string()}))
        << daemon.errorOutput();
    EXPECT_TRUE(std::filesystem::exists(folder / "control-01"));
}

TEST_F(Obxkernd, TwoVirtualTrackballsAreNumberedAndSeparate) {
    startWith({"--virtual", "--virtual", "--product-id", "2"});
    VirtualPeer first(daemon.runtimeDir(), 1);
    VirtualPeer second(daemon.runtimeDir(), 2);
    ASSERT_TRUE(second.send(0x02));
    EXPECT_EQ(second.nextPacket(), packetText(0x0004));
    ASSERT_TRUE(first.send(0x01));
    EXPECT_EQ(first.nextPacket(), packetText(0x0001));
    ControlClient control(daemon.socket("control-02"));
    EXPECT_EQ(recordOf<OBX_DEVICE_INFO>(call(control, IOCTL_OBX_GET_DEVICE_INFO, {}, 514)).ProductId, 2);
}

TEST_F(Obxkernd, PluggedTrackballsComeAndGoThroughTheRemovalPath) {
    startWith({"--virtual", "--virtual-plug"});
    struct stat info {};
    ASSERT_EQ(::stat(daemon.socket("virtual-plug").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "only the daemon's own user plugs trackballs";
    PlugClient plug(daemon.socket("virtual-plug"));
    ASSERT_EQ(plug.ask("plug"), "plugged 2");
    {
        VirtualPeer peer(daemon.runtimeDir(), 2);
        ControlClient control(daemon.socket("control-02"));
        const uint32_t read = control.submitRead();
        ASSERT_TRUE(peer.send(0x01)); // unplugged with the button down
        EXPECT_EQ(peer.nextPacket(), packetText(0x0001));
        EXPECT_EQ(plug.ask("unplug 2"), "unplugged 2");
        EXPECT_EQ(completionOf(control, read).status, OBX_STATUS_CANCELLED);
        EXPECT_FALSE(peer.nextPacket()) << "the packet stream ends with the trackball";
    }
    for (const char* name : {"control-02", "virtual-02.in", "virtual-02.out"})
        EXPECT_FALSE(std::filesystem::exists(daemon.socket(name))) << name;
    EXPECT_EQ(plug.ask("plug"), "plugged 3") << "a trackball plugged again is a new one";

    const std::pair<std::string, std::string> refused[] = {
        {"unplug 1", "error: no plugged trackball 1"}, // given on the command line
        {"unplug 2", "error: no plugged trackball 2"},     {"unplug 3x", "error: no plugged trackball 3x"},
        {"unplug ", "error: no plugged trackball "},       {"Plug", "error: unknown request"},
        {std::string(40, 'p'), "error: request too long"},
    };
    for (const auto& [request, answer] : refused)
        EXPECT_EQ(plug.ask(request), answer) << request;
    ControlClient fixed(daemon.socket("control-01"));
    EXPECT_EQ(call(fixed, IOCTL_OBX_GET_DRIVER_INFO, {}, 8).status, OBX_STATUS_SUCCESS);
}

TEST_F(Obxkernd, PluggedTrackballsAreBounded) {
    startWith({"--virtual-plug"});
    PlugClient plug(daemon.socket("virtual-plug"));
    for (int n = 1; n <= 32; ++n)
        ASSERT_EQ(plug.ask("plug"), "plugged " + std::to_string(n));
    EXPECT_EQ(plug.ask("plug"), "error: too many trackballs");
    EXPECT_EQ(plug.ask("unplug 7"), "unplugged 7");
    EXPECT_EQ(plug.ask("plug"), "plugged 33");
    EXPECT_EQ(daemon.stop(SIGTERM), 0);
    EXPECT_FALSE(std::filesystem::exists(daemon.socket("control-33")));
}

TEST_F(Obxkernd, DescriptorWithReportIdsTakesReportsAsTheyCome) {
    // Report 1: buttons 1 to 3, X, Y; report 2: a wheel.
    const std::vector<uint8_t> descriptor = {
        0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03,
        0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x75, 0x05, 0x95, 0x01,
        0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08,
        0x95, 0x02, 0x81, 0x06, 0x85, 0x02, 0x09, 0x38, 0x95, 0x01, 0x81, 0x06, 0xC0};
    const std::filesystem::path file = daemon.runtimeDir().parent_path() / "descriptor.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(descriptor.data()), descriptor.size());
    startWith({"--virtual", "--descriptor", file.string()});
    VirtualPeer peer(daemon.runtimeDir(), 1);
    ASSERT_TRUE(peer.sendReport({1, 0x04, 0xFE, 0x05}));
    EXPECT_EQ(peer.nextPacket(), packetText(0x0010));
    EXPECT_EQ(peer.nextPacket(), packetText(0, 0, -2, 5));
    ASSERT_TRUE(peer.sendReport({2, 0x03}));
    EXPECT_EQ(peer.nextPacket(), packetText(0x0400, 360));
}

TEST_F(Obxkernd, RefusesToStartWithoutAUsableSetUp) {
    daemon.launch({"--virtual", "--frobnicate"});
    EXPECT_EQ(daemon.waitExit(), 2);
    EXPECT_NE(daemon.errorOutput().find("unknown option --frobnicate"), std::string::npos);
    daemon.launch(
        {"--runtime-dir", daemon.runtimeDir().string(), "--virtual", "--descriptor", "/nonexistent"});
    EXPECT_EQ(daemon.waitExit(), 1);
    EXPECT_NE(daemon.errorOutput().find("/nonexistent: cannot be read"), std::string::npos);
    const std::filesystem::path table = daemon.runtimeDir().parent_path() / "devices.conf";
    std::ofstream(table) << "# models\n00aa:00bb fine\n00aa-00bc\n";
    daemon.launch({"--runtime-dir", daemon.runtimeDir().string(), "--devices-conf", table.string()});
    EXPECT_EQ(daemon.waitExit(), 1);
    EXPECT_NE(daemon.errorOutput().find(table.string() + ":3: expected VENDOR:PRODUCT in hexadecimal"),
              std::string::npos)
        << daemon.errorOutput();
    EXPECT_FALSE(std::filesystem::exists(daemon.socket("control-01")));
}

// No model in the table is present on a test machine: the daemon runs and waits for one.
TEST_F(Obxkernd, WithoutAMatchingTrackballItWaitsForOne) {
    const std::filesystem::path table = daemon.runtimeDir().parent_path() / "devices.conf";
    std::ofstream(table) << "0000:0000 nothing real\n";
    startWith({"--devices-conf", table.string()});
    EXPECT_FALSE(std::filesystem::exists(daemon.socket("control-01")));
    EXPECT_EQ(daemon.stop(SIGTERM), 0);
    EXPECT_NE(daemon.errorOutput().find("no trackball attached; waiting for one to be plugged in"),
              std::string::npos)
        << daemon.errorOutput();
}

TEST_F(Obxkernd, ThePointingDevicesSocketRefusesBadRequestsAndChangesNothing) {
    const std::filesystem::path table = daemon.runtimeDir().parent_path() / "devices.conf";
    std::ofstream(table) << "0000:0000 nothing real\n";
    const std::filesystem::path state = daemon.runtimeDir().parent_path() / "state";
    startWith({"--devices-conf", table.string(), "--state-dir", state.string()});
    PlugClient client(daemon.socket("pointing-devices"));
    EXPECT_EQ(client.receive(), "pointing-devices 0\n") << "the list sent on connecting";
    for (const std::string& bad :
         {std::string("take 12345:1"), std::string("take 1234:5678 "), std::string("release 1234:56zz"),
          std::string("take 1234:5678 \x01"), "take 1234:5678 " + std::string(200, 'x')})
        EXPECT_EQ(client.ask(bad).rfind("error: ", 0), 0u) << bad;
    EXPECT_EQ(client.ask("release 0000:0000"), "error: 0000:0000 cannot be let go: devices.conf lists it");
    EXPECT_FALSE(std::filesystem::exists(state / "chosen-devices"));
}

TEST_F(Obxkernd, InputToolDrivesTheVirtualTrackball) {
    startWith({"--virtual"});
    VirtualPeer peer(daemon.runtimeDir(), 1);
    const std::string command = std::string("/usr/bin/python3 ") + OBX_SCRIPTS_DIR +
                                "/virtual_input.py --runtime-dir " + daemon.runtimeDir().string() +
                                " press 2 release 2 move 4 -4 wheel -1 pan 1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(peer.nextPacket(), packetText(0x0004));
    EXPECT_EQ(peer.nextPacket(), packetText(0x0008));
    EXPECT_EQ(peer.nextPacket(), packetText(0, 0, 4, -4));
    EXPECT_EQ(peer.nextPacket(), packetText(0x0400, -120));
    EXPECT_EQ(peer.nextPacket(), packetText(0x0800, 120));
}

} // namespace
} // namespace obx::test
