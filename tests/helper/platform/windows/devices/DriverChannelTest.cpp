// The Windows driver channel against stand-ins that Wine supports: a named
// pipe for the overlapped read, its cancellation and a removed device; the
// pipe's own controls for a device control that is answered, refused, or
// never answered and not even cancellable (a wait for a busy pipe, issued on
// the pipe file system's root).

#include "PipeServer.h"
#include "base/MsgWFMOHandler.h"
#include "devices/Device.h"
#include "devices/DeviceLayerPlatform.h"
#include "platform/windows/base/WindowsWaitPrimitive.h"
#include "platform/windows/devices/ControlHandleWatch.h"
#include "platform/windows/devices/WindowsDriverChannel.h"
#include "support/ErrorText.h"

#include <boost/locale/encoding_utf.hpp>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dbt.h>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <winioctl.h>

namespace obx::windows {
namespace {

using namespace std::chrono_literals;
using test::PipeServer;

constexpr DWORD pipePeek = CTL_CODE(FILE_DEVICE_NAMED_PIPE, 3, METHOD_BUFFERED, FILE_READ_DATA);
constexpr DWORD pipeWait = CTL_CODE(FILE_DEVICE_NAMED_PIPE, 6, METHOD_BUFFERED, FILE_ANY_ACCESS);

std::array<std::uint8_t, 42> pattern() {
    std::array<std::uint8_t, 42> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    return bytes;
}

// Takes the read's result on the worker, as a device does.
struct ReadWatcher {
    void onRead() {
        const auto state = channel->takeReadResult();
        std::lock_guard guard(mutex);
        if (state != IDriverChannel::ReadState::pending) {
            result = state;
            changed.notify_all();
        }
    }
    std::optional<IDriverChannel::ReadState> awaitResult() {
        std::unique_lock guard(mutex);
        changed.wait_for(guard, 20s, [this] { return result.has_value(); });
        return result;
    }

    IDriverChannel* channel = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<IDriverChannel::ReadState> result;
};

TEST(WindowsDriverChannel, TheReadCompletesThroughTheWorkersWaitIntoTheBuffer) {
    PipeServer driver;
    ASSERT_TRUE(driver.valid());
    WindowsDriverChannel channel(driver.path());
    ASSERT_TRUE(channel.open());
    std::array<std::uint8_t, 42> buffer{};
    ASSERT_TRUE(channel.queueRead(buffer));
    EXPECT_FALSE(channel.queueRead(buffer)) << "one read at a time";
    EXPECT_EQ(channel.takeReadResult(), IDriverChannel::ReadState::pending);

    MsgWFMOHandler worker{std::make_unique<WindowsWaitPrimitive>()};
    ReadWatcher watcher;
    watcher.channel = &channel;
    worker.addWaitHandler(channel.readHandle(), &watcher, &ReadWatcher::onRead);
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(driver.write(pattern()));
    EXPECT_EQ(watcher.awaitResult(), IDriverChannel::ReadState::completed);
    worker.stop();
    EXPECT_EQ(buffer, pattern());

    // The next read, then the trackball goes: the read fails and no other
    // can be taken from it.
    ASSERT_TRUE(channel.queueRead(buffer));
    driver.disconnect();
    ASSERT_EQ(::WaitForSingleObject(reinterpret_cast<HANDLE>(channel.readHandle()), 20000), WAIT_OBJECT_0);
    EXPECT_EQ(channel.takeReadResult(), IDriverChannel::ReadState::failed);
    EXPECT_EQ(channel.takeReadResult(), IDriverChannel::ReadState::failed);
}

TEST(WindowsDriverChannel, ClosingCancelsThePendingReadAndNothingIsWrittenAfterwards) {
    PipeServer driver;
    WindowsDriverChannel channel(driver.path());
    ASSERT_TRUE(channel.open());
    std::array<std::uint8_t, 42> buffer{};
    ASSERT_TRUE(channel.queueRead(buffer));
    channel.close();
    EXPECT_EQ(channel.readHandle(), 0);
    // The driver's answer finds no reader any more.
    EXPECT_FALSE(driver.write(pattern()));
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 42>{}));
    EXPECT_FALSE(channel.queueRead(buffer));
    EXPECT_FALSE(channel.control(pipePeek, {}, buffer));
}

TEST(WindowsDriverChannel, AnAnsweredControlGivesItsByteCountAndOutput) {
    PipeServer driver;
    WindowsDriverChannel channel(driver.path());
    ASSERT_TRUE(channel.open());
    const std::array<std::uint8_t, 5> waiting = {1, 2, 3, 4, 5};
    ASSERT_TRUE(driver.write(waiting));
    // The pipe's peek record: state, bytes available, messages, message length, then the data.
    std::array<std::uint8_t, 64> output{};
    const auto transferred = channel.control(pipePeek, {}, output);
    ASSERT_TRUE(transferred);
    EXPECT_EQ(*transferred, 16u + waiting.size());
    std::uint32_t available = 0;
    std::memcpy(&available, output.data() + 4, sizeof available);
    EXPECT_EQ(available, waiting.size());
    EXPECT_TRUE(std::equal(waiting.begin(), waiting.end(), output.begin() + 16));
    // A request larger than any record of the control interface is refused.
    std::vector<std::uint8_t> huge(WindowsDriverChannel::controlCapacity + 1);
    EXPECT_FALSE(channel.control(pipePeek, {}, huge));
}

TEST(WindowsDriverChannel, AControlNeverAnsweredFailsInBoundedTimeAndLaterOnesAtOnce) {
    PipeServer busy; // one instance, taken by the client below
    ASSERT_TRUE(busy.valid());
    WindowsDriverChannel client(busy.path());
    ASSERT_TRUE(client.open());
    WindowsDriverChannel root(L"\\\\.\\pipe\\", 1000ms);
    ASSERT_TRUE(root.open());
    // Wait up to 5 s for a free instance of the busy pipe: pending, and Wine
    // cannot cancel it.
    std::vector<std::uint8_t> request(16 + busy.leaf().size() * sizeof(wchar_t));
    const LONGLONG timeout = -5LL * 10'000'000;
    const ULONG nameLength = static_cast<ULONG>(busy.leaf().size() * sizeof(wchar_t));
    std::memcpy(request.data(), &timeout, sizeof timeout);
    std::memcpy(request.data() + 8, &nameLength, sizeof nameLength);
    request[12] = TRUE; // timeout given
    std::memcpy(request.data() + 14, busy.leaf().data(), nameLength);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(root.control(pipeWait, request, {}));
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 4500ms) << "bounded by the time-out and the wait for the cancellation";
    const auto again = std::chrono::steady_clock::now();
    EXPECT_FALSE(root.control(pipeWait, request, {}));
    EXPECT_LT(std::chrono::steady_clock::now() - again, 900ms) << "no second wait on a channel that hangs";
    // Closing leaves the blocks to the request that may still end.
    root.close();
}

TEST(WindowsDriverChannel, ADeviceOnAChannelThatAnswersNoControlFailsWithTheFixedTexts) {
    MsgWFMOHandler worker{std::make_unique<WindowsWaitPrimitive>()};
    Device missing(worker, "\\\\.\\pipe\\obx-no-such-device",
                   std::make_unique<WindowsDriverChannel>(L"\\\\.\\pipe\\obx-no-such-device"));
    EXPECT_EQ(test::errorText([&] { missing.open(); }), "Error opening the device");

    PipeServer notADriver;
    Device refused(worker, "pipe", std::make_unique<WindowsDriverChannel>(notADriver.path()));
    EXPECT_EQ(test::errorText([&] { refused.open(); }), "Error retrieving driver information");
}

// The system's side of a handle's notices: registrations by number, the
// handles they were made for, the ones still in force.
struct FakeRegistrar {
    HandleNoticeRegistrar registrar() {
        return {[this](HWND, HANDLE device) {
                    devices.push_back(device);
                    const auto registration = reinterpret_cast<HDEVNOTIFY>(devices.size());
                    live.insert(registration);
                    return registration;
                },
                [this](HDEVNOTIFY registration) { live.erase(registration); }};
    }
    static DEV_BROADCAST_HDR& notice(DEV_BROADCAST_HANDLE& record, HDEVNOTIFY registration) {
        record = DEV_BROADCAST_HANDLE{};
        record.dbch_size = sizeof record;
        record.dbch_devicetype = DBT_DEVTYP_HANDLE;
        record.dbch_hdevnotify = registration;
        return reinterpret_cast<DEV_BROADCAST_HDR&>(record);
    }
    std::vector<HANDLE> devices;
    std::set<HDEVNOTIFY> live;
};

std::string utf8(const std::wstring& text) {
    return boost::locale::conv::utf_to_utf<char>(text);
}

bool isDeparture(const std::optional<WorkerMessage>& m, const std::string& path) {
    return m && m->code == deviceChangeMessage && m->param == deviceRemoveCompleteEvent && m->text == path;
}

// An orderly removal as the system runs it against the helper's handle.
TEST(ControlHandleWatch, AQueryClosesTheHandleACancelReopensItAndARemovalDropsTheDevice) {
    WindowsWaitPrimitive waits;
    FakeRegistrar system;
    ControlHandleWatch watch(waits, system.registrar());
    PipeServer driver;
    const std::string path = utf8(driver.path());
    DEV_BROADCAST_HANDLE record;

    WindowsDriverChannel channel(driver.path(), 1s, &watch);
    ASSERT_TRUE(channel.open());
    ASSERT_EQ(system.live.size(), 1u);
    const auto first = *system.live.begin();
    std::array<std::uint8_t, 8> buffer{};
    ASSERT_TRUE(channel.queueRead(buffer));
    EXPECT_FALSE(watch.onNotice(DBT_DEVICEQUERYREMOVE, FakeRegistrar::notice(record, nullptr)));

    // The query: the handle is closed before the answer, the registration stays for the outcome.
    EXPECT_TRUE(
        isDeparture(watch.onNotice(DBT_DEVICEQUERYREMOVE, FakeRegistrar::notice(record, first)), path));
    const std::array<std::uint8_t, 1> byte{1};
    EXPECT_FALSE(driver.write(byte)) << "the pipe's client end is closed";
    EXPECT_FALSE(channel.control(pipePeek, {}, buffer));
    channel.close();
    EXPECT_EQ(system.live.count(first), 1u);

    // The cancel: its registration ends, and the device is to be opened again.
    const auto cancelled = watch.onNotice(DBT_DEVICEQUERYREMOVEFAILED, FakeRegistrar::notice(record, first));
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(cancelled->param, deviceArrivalEvent);
    EXPECT_EQ(cancelled->text, path);
    EXPECT_TRUE(system.live.empty());

    // The removal of a device opened again: dropped, its handle closed.
    PipeServer again;
    WindowsDriverChannel reopened(again.path(), 1s, &watch);
    ASSERT_TRUE(reopened.open());
    const auto second = *system.live.begin();
    const std::string againPath = utf8(again.path());
    EXPECT_TRUE(isDeparture(watch.onNotice(DBT_DEVICEREMOVECOMPLETE, FakeRegistrar::notice(record, second)),
                            againPath));
    EXPECT_TRUE(system.live.empty());
    EXPECT_FALSE(again.write(byte));

    // A channel closed with no removal about ends its registration.
    PipeServer third;
    WindowsDriverChannel plain(third.path(), 1s, &watch);
    ASSERT_TRUE(plain.open());
    EXPECT_EQ(system.live.size(), 1u);
    plain.close();
    EXPECT_TRUE(system.live.empty());
}

} // namespace
} // namespace obx::windows
