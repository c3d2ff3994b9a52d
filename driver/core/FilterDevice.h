#pragma once

#include "driver/core/ButtonOutput.h"
#include "driver/core/ButtonProcessor.h"
#include "driver/core/ControlDevice.h"
#include "driver/core/ControlTarget.h"
#include "driver/core/Framework.h"
#include "driver/core/ReportProcessor.h"
#include "driver/hid/HidParser.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace obx::driver {

// Hands out instance numbers, driver-wide: the first device gets 1 and numbers are not reused.
class InstanceCounter {
public:
    uint32_t next() { return ++last_; }

private:
    std::atomic<uint32_t> last_{0};
};

// What the host gives a filter device. Timer i + 1 must call timerFired(i + 1) when it expires.
struct FilterDeviceServices {
    IHidDevice& below;
    hid::IHidParser& parser;
    const IClock& clock;
    ILock& deviceLock;
    // Keeps the class driver's creates and closes one at a time; it may be a lock that sleeps, as
    // opening and closing the read target may.
    ILock& fileLock;
    // Guards whether the read target is open, held across each send on it, so that a close never
    // deletes the target under a send.
    ILock& readLock;
    std::array<ITimer*, 3> timers; // chord, inertia, auto-scroll
    ControlDeviceLocks controlLocks;
    IDebugTrace* trace = nullptr; // none: no debug records
};

// The filter device of one trackball: takes the class driver's place as the source of mouse input,
// reads the HID reports of the device below and owns the control device.
class FilterDevice final : private IButtonOutput, private IControlTarget, private IReadCompletion {
public:
    FilterDevice(FilterDeviceServices services, uint32_t instance);
    FilterDevice(const FilterDevice&) = delete;
    FilterDevice& operator=(const FilterDevice&) = delete;

    ControlDevice& controlDevice() { return control_; }

    ObxStatus prepareHardware();
    ObxStatus releaseHardware();
    // The device leaves its working power state (sleep, a stop, a removal) and enters it again: the
    // read loop stops with it and starts again.
    void powerDown();
    void powerUp();
    ObxStatus queryRemove();
    // The system kept the device after the removal query.
    void removeCancelled();
    ObxStatus fileCreate(FileObject file, bool fromUserMode);
    void fileClose(FileObject file);
    // The class driver's connect request, its connect data already decoded by the host (which also
    // checks its size): from now on packets go to `service`. A second connect is refused.
    Completion connect(IMouseClassService& service);
    // The class driver's other internal control requests.
    Completion internalDeviceControl(uint32_t code, std::span<uint8_t> output);
    void timerFired(uint32_t id);

private:
    void requestRead();
    ObxStatus sendRead();
    // What follows a read that failed: nothing when the loop was ended on purpose or the device is
    // gone, else a new read, up to the third failure within 10 s, which ends the loop.
    enum class AfterFailure : uint8_t { End, Retry, GiveUp };
    AfterFailure afterFailure(ObxStatus status);
    void resetReadFailures();
    void readString(HidString which, std::size_t fieldOffset);
    void readResolutionMultipliers(uint32_t featureReportLength);
    // OBX_DEVICE_INFO.Capabilities from what the descriptor declares.
    static uint16_t capabilities(const hid::IHidParser& parser);
    void readCompleted(ObxStatus status, uint32_t bytesRead) override;
    void sendPacket(const MouseInputData& packet);

    // IButtonOutput
    void sendButtons(uint32_t downMask, uint32_t upMask) override;
    void sendMovement(int32_t dx, int32_t dy) override;
    void sendWheel(uint32_t axis, int32_t amount) override;
    void reportToHelper(uint32_t pressed, uint32_t released) override;
    void reportGesture(uint32_t buttons, uint8_t direction, uint8_t steps) override;
    bool startTimer(uint32_t id, uint32_t milliseconds) override;
    void stopTimer(uint32_t id) override;
    void traceTransition(const char* machine, const char* from, const char* event, const char* to) override;
    ITimer* timer(uint32_t id) const;

    // IControlTarget
    bool slowPointer() override;
    void setSlowPointer(bool on) override;
    bool singleAxis() override;
    void setSingleAxis(bool on) override;
    OBX_SCROLL_PARAMS scrollParams(uint8_t wheel) override;
    void setScrollParams(const OBX_SCROLL_PARAMS& params) override;
    void setButtonMap(const ButtonMap& map) override;
    void buttonChange(uint32_t pressed, uint32_t released) override;
    void setHelperRegistered(bool registered) override;
    OBX_DEVICE_INFO deviceInfo() override;

    static constexpr size_t kMaxReportBytes = 4096; // report id byte included, as the parser serves
    static constexpr size_t kMaxMultiplierReports = 8;

    FilterDeviceServices services_;
    ButtonProcessor processor_;
    ReportProcessor reports_;
    ControlDevice control_;
    std::atomic<IMouseClassService*> classService_{nullptr};

    // Set at start, read under the device lock. The strings are read into `reading_` first: reading
    // them may sleep, which the device lock must not.
    bool hidReady_ = false;
    OBX_DEVICE_INFO info_{};
    OBX_DEVICE_INFO reading_{};
    uint32_t inputReportLength_ = 0;

    // The read loop: one read in flight, its buffer belonging to it. `readFile_` is guarded by the file
    // lock, `readTargetOpen_` by the read lock. `readsWanted_` counts the sends asked for while one is
    // under way, so that a read completing inside its own send does not send the next one from there.
    FileObject readFile_ = nullptr;
    bool readTargetOpen_ = false;
    // Out of the working power state, guarded by the file lock and, for sends, the read lock.
    bool readsStopped_ = false;
    // When the last failed reads came, for their bound; guarded by the device lock.
    static constexpr uint32_t kReadFailureLimit = 3;
    static constexpr uint64_t kReadFailureWindowMs = 10000;
    std::array<uint64_t, kReadFailureLimit> readFailures_{};
    uint32_t readFailureCount_ = 0;
    std::atomic<uint32_t> readsWanted_{0};
    // One read at a time: a completion that raced a close and a new create (it was taken before the
    // close could cancel it) asks for the next read itself, so the create must not send a second.
    std::atomic<bool> readInFlight_{false};
    std::array<uint8_t, kMaxReportBytes> readBuffer_{};
    // Feature reads at start; apart from the read buffer, which a read in flight may still own.
    std::array<uint8_t, kMaxReportBytes> featureBuffer_{};
};

} // namespace obx::driver
