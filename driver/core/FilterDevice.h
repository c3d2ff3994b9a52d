#pragma once

#include "driver/core/ButtonOutput.h"
#include "driver/core/ButtonProcessor.h"
#include "driver/core/ControlDevice.h"
#include "driver/core/ControlTarget.h"
#include "driver/core/Framework.h"
#include "driver/core/ReportProcessor.h"
#include "driver/hid/HidPreparsedData.h"

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
    const IClock& clock;
    ILock& deviceLock;
    std::array<ITimer*, 3> timers; // chord, inertia, auto-scroll
    ControlDeviceLocks controlLocks;
    IDebugTrace* trace = nullptr; // none: no debug records
};

// The filter device of one trackball: takes the class driver's place as the source of mouse input,
// reads the HID reports of the device below and owns the control device.
class FilterDevice final : private IButtonOutput, private IControlTarget, private IReadCompletion {
public:
    static constexpr size_t kMaxDescriptorBytes = 4096;

    FilterDevice(FilterDeviceServices services, uint32_t instance);
    FilterDevice(const FilterDevice&) = delete;
    FilterDevice& operator=(const FilterDevice&) = delete;

    ControlDevice& controlDevice() { return control_; }

    ObxStatus prepareHardware();
    ObxStatus releaseHardware();
    ObxStatus queryRemove();
    ObxStatus fileCreate(FileObject file, bool fromUserMode);
    void fileClose(FileObject file);
    Completion internalDeviceControl(uint32_t code, std::span<const uint8_t> input,
                                     std::span<uint8_t> output);
    void timerFired(uint32_t id);

private:
    ObxStatus startRead();
    void readCompleted(ObxStatus status, uint32_t bytesRead) override;
    void sendPacket(const MouseInputData& packet);

    // IButtonOutput
    void sendButtons(uint32_t downMask, uint32_t upMask) override;
    void sendMovement(int32_t dx, int32_t dy) override;
    void sendWheel(uint32_t axis, int32_t amount) override;
    void reportToHelper(uint32_t pressed, uint32_t released) override;
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

    FilterDeviceServices services_;
    ButtonProcessor processor_;
    hid::HidPreparsedData hid_;
    ReportProcessor reports_;
    ControlDevice control_;
    std::atomic<IMouseClassService*> classService_{nullptr};
    void* classDevice_ = nullptr;

    // Set at start, read under the device lock.
    bool hidReady_ = false;
    OBX_DEVICE_INFO info_{};
    uint32_t inputReportLength_ = 0;
    std::array<uint8_t, kMaxDescriptorBytes> descriptor_{};

    // The read loop: one read in flight. Creates and closes of the class driver are serialised by the
    // framework; the read buffer belongs to the read in flight.
    std::atomic<bool> readTargetOpen_{false};
    FileObject readFile_ = nullptr;
    std::array<uint8_t, hid::HidPreparsedData::kMaxReportBytes> readBuffer_{};
};

} // namespace obx::driver
