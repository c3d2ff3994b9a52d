#include "driver/core/FilterDevice.h"

#include <algorithm>
#include <cstring>

namespace obx::driver {

namespace {

constexpr uint16_t kWheelMouseHidHardware = 0x0100;
constexpr uint16_t kReportedButtons = 32;
constexpr uint32_t kInputQueueLength = 32;
constexpr uint32_t kMouseButtonBits = 5;
constexpr uint16_t kDownFlags[kMouseButtonBits] = {0x0001, 0x0004, 0x0010, 0x0040, 0x0100};
constexpr uint16_t kUpFlags[kMouseButtonBits] = {0x0002, 0x0008, 0x0020, 0x0080, 0x0200};
// The device fills a 127-byte buffer: whole UTF-16 characters only.
constexpr size_t kStringBufferChars = 127 / sizeof(uint16_t);

uint16_t buttonFlags(uint32_t mask, const uint16_t (&flags)[kMouseButtonBits]) {
    uint16_t result = 0;
    for (uint32_t bit = 0; bit < kMouseButtonBits; ++bit) {
        if (mask & (1u << bit))
            result |= flags[bit];
    }
    return result;
}

} // namespace

FilterDevice::FilterDevice(FilterDeviceServices services, uint32_t instance)
    : services_(services), processor_(*this), reports_(services.parser, processor_),
      control_(instance, *this, services.clock, services.controlLocks) {}

ObxStatus FilterDevice::prepareHardware() {
    HidCollectionInformation collection;
    ObxStatus status = services_.below.collectionInformation(collection);
    if (status != OBX_STATUS_SUCCESS)
        return status;
    {
        LockGuard guard(services_.deviceLock);
        hidReady_ = false;
    }
    if (collection.descriptorSize == 0)
        return OBX_STATUS_DEVICE_DATA_ERROR;
    hid::IHidParser& parser = services_.parser;
    const std::span<uint8_t> descriptor = parser.descriptorStorage(collection.descriptorSize);
    if (descriptor.size() != collection.descriptorSize)
        return OBX_STATUS_INSUFFICIENT_RESOURCES;
    status = services_.below.collectionDescriptor(descriptor);
    if (status != OBX_STATUS_SUCCESS) {
        parser.release();
        return status;
    }

    reading_ = OBX_DEVICE_INFO{};
    reading_.ProductId = collection.productId;
    reading_.VersionNumber = collection.versionNumber;
    readString(HidString::Product, offsetof(OBX_DEVICE_INFO, ProductString));
    readString(HidString::SerialNumber, offsetof(OBX_DEVICE_INFO, SerialNumberString));

    // The parser's queries may only run at passive level: they are made before the lock is taken (no
    // report is processed meanwhile, hidReady_ being false), and only their results are stored under it.
    hid::HidCaps caps;
    if (parser.load(caps) != hid::HidStatus::Success) {
        parser.release();
        return OBX_STATUS_DEVICE_DATA_ERROR;
    }
    const uint32_t buttonUsages = parser.maxUsageListLength(hid::kPageButton);
    reading_.Capabilities = capabilities(parser);
    readResolutionMultipliers(caps.featureReportByteLength);

    LockGuard guard(services_.deviceLock);
    inputReportLength_ = caps.inputReportByteLength;
    info_ = reading_;
    reports_.start(collection.productId, buttonUsages);
    hidReady_ = true;
    return OBX_STATUS_SUCCESS;
}

uint16_t FilterDevice::capabilities(const hid::IHidParser& parser) {
    const uint32_t buttons =
        std::min<uint32_t>(parser.highestUsage(hid::kPageButton), OBX_CAPABILITY_BUTTONS_MASK);
    return static_cast<uint16_t>(
        buttons | (parser.declares(hid::kPageGenericDesktop, hid::kUsageWheel) ? OBX_CAPABILITY_WHEEL : 0) |
        (parser.declares(hid::kPageConsumer, hid::kUsageAcPan) ? OBX_CAPABILITY_PAN : 0));
}

void FilterDevice::readResolutionMultipliers(uint32_t featureReportLength) {
    // The values that the system set (or the device's own): a wheel governed by one reports fractions
    // of a detent. A report that cannot be read leaves its multipliers at 1.
    std::array<uint8_t, kMaxMultiplierReports> ids{};
    const uint32_t count = services_.parser.multiplierReports(ids);
    const std::span<uint8_t> report(featureBuffer_.data(),
                                    std::min<size_t>(featureReportLength, featureBuffer_.size()));
    if (report.empty())
        return;
    for (uint32_t i = 0; i < count; ++i) {
        std::fill(report.begin(), report.end(), uint8_t{0});
        report[0] = ids[i];
        if (services_.below.getFeature(report) == OBX_STATUS_SUCCESS)
            services_.parser.takeFeatureReport(report);
    }
}

void FilterDevice::readString(HidString which, std::size_t fieldOffset) {
    // Only the first half of the field is offered, so the last character stays the terminator; a string
    // that cannot be read stays empty. The record is packed, so the field may sit at an odd address: the
    // text is read into an aligned buffer and copied in.
    uint16_t text[OBX_DEVICE_STRING_CHARS] = {};
    if (services_.below.string(which, std::span(text, kStringBufferChars)) != OBX_STATUS_SUCCESS)
        std::fill(std::begin(text), std::end(text), uint16_t{0});
    std::memcpy(reinterpret_cast<uint8_t*>(&reading_) + fieldOffset, text, sizeof text);
}

ObxStatus FilterDevice::releaseHardware() {
    LockGuard guard(services_.deviceLock);
    hidReady_ = false;
    // The buttons' releases will not come: a gesture held ends here, and does nothing.
    processor_.removal();
    services_.parser.release();
    return OBX_STATUS_SUCCESS;
}

void FilterDevice::powerDown() {
    LockGuard files(services_.fileLock);
    {
        LockGuard guard(services_.readLock);
        readsStopped_ = true;
    }
    if (readFile_ != nullptr)
        services_.below.stopReads();
}

void FilterDevice::powerUp() {
    LockGuard files(services_.fileLock);
    if (readFile_ != nullptr && services_.below.startReads() != OBX_STATUS_SUCCESS)
        return; // the loop stays stopped; the next create opens the target again
    {
        LockGuard guard(services_.readLock);
        readsStopped_ = false;
    }
    resetReadFailures();
    if (readFile_ != nullptr)
        requestRead();
}

ObxStatus FilterDevice::queryRemove() {
    control_.purgeReads();
    return OBX_STATUS_SUCCESS;
}

void FilterDevice::removeCancelled() {
    control_.resumeReads();
}

ObxStatus FilterDevice::fileCreate(FileObject file, bool fromUserMode) {
    if (fromUserMode)
        return OBX_STATUS_ACCESS_DENIED;
    ObxStatus status = services_.below.create(file);
    if (status != OBX_STATUS_SUCCESS)
        return status;
    LockGuard files(services_.fileLock);
    if (readFile_ != nullptr)
        return OBX_STATUS_SUCCESS;
    // The drivers below have accepted the file object by now: failing the create would leave it open
    // below with no cleanup or close ever coming for it. The create succeeds with the read loop
    // stopped, and the next create of the class driver tries to open the read target again.
    if (services_.below.openReadTarget(file) != OBX_STATUS_SUCCESS)
        return OBX_STATUS_SUCCESS;
    readFile_ = file;
    {
        LockGuard guard(services_.readLock);
        readTargetOpen_ = true;
    }
    resetReadFailures();
    requestRead();
    return OBX_STATUS_SUCCESS;
}

void FilterDevice::fileClose(FileObject file) {
    LockGuard files(services_.fileLock);
    if (file == nullptr || file != readFile_)
        return;
    readFile_ = nullptr;
    {
        // A send under way finishes first; later ones find the target closed.
        LockGuard guard(services_.readLock);
        readTargetOpen_ = false;
    }
    services_.below.closeReadTarget();
}

void FilterDevice::requestRead() {
    if (readsWanted_.fetch_add(1, std::memory_order_acq_rel) != 0)
        return; // the loop below, under way in this thread or another, sends it
    do {
        // A failed send ends the loop: no completion will ask for another.
        sendRead();
    } while (readsWanted_.fetch_sub(1, std::memory_order_acq_rel) != 1);
}

ObxStatus FilterDevice::sendRead() {
    LockGuard guard(services_.readLock);
    if (!readTargetOpen_ || readsStopped_)
        return OBX_STATUS_INTERNAL_ERROR;
    if (readInFlight_.exchange(true, std::memory_order_acq_rel))
        return OBX_STATUS_SUCCESS; // its completion asks for the next one
    const uint32_t length = std::min<uint32_t>(inputReportLength_, readBuffer_.size());
    const std::span<uint8_t> buffer(readBuffer_.data(), length);
    std::fill(buffer.begin(), buffer.end(), uint8_t{0});
    const ObxStatus status = services_.below.sendRead(buffer, *this);
    if (status != OBX_STATUS_SUCCESS)
        readInFlight_.store(false, std::memory_order_release); // no completion will come
    return status;
}

void FilterDevice::resetReadFailures() {
    LockGuard guard(services_.deviceLock);
    readFailureCount_ = 0;
}

FilterDevice::AfterFailure FilterDevice::afterFailure(ObxStatus status) {
    // A cancelled read was taken back by a close or a power-down, which end the loop on purpose; the
    // others say the device is gone.
    if (status == OBX_STATUS_CANCELLED || status == OBX_STATUS_DEVICE_NOT_CONNECTED ||
        status == OBX_STATUS_NO_SUCH_DEVICE || status == OBX_STATUS_DELETE_PENDING)
        return AfterFailure::End;
    // The device lock, not the read lock: a read may fail inside its own send, which holds that. A
    // loop closed or stopped meanwhile sends nothing: the next send finds it so.
    const uint64_t now = services_.clock.uptimeMilliseconds();
    LockGuard guard(services_.deviceLock);
    // The failures of the last 10 s, oldest first, with room for this one; the third stops the loop.
    uint32_t kept = 0;
    const uint32_t first =
        readFailureCount_ < kReadFailureLimit ? 0 : readFailureCount_ - kReadFailureLimit + 1;
    for (uint32_t i = first; i < readFailureCount_; ++i) {
        if (now - readFailures_[i] < kReadFailureWindowMs)
            readFailures_[kept++] = readFailures_[i];
    }
    readFailures_[kept++] = now;
    readFailureCount_ = kept;
    return kept < kReadFailureLimit ? AfterFailure::Retry : AfterFailure::GiveUp;
}

void FilterDevice::readCompleted(ObxStatus status, uint32_t bytesRead) {
    readInFlight_.store(false, std::memory_order_release);
    if (status != OBX_STATUS_SUCCESS) {
        const AfterFailure next = afterFailure(status);
        if (next == AfterFailure::Retry)
            requestRead();
        else if (next == AfterFailure::GiveUp && services_.trace != nullptr)
            services_.trace->error("the trackball's reads failed 3 times in 10 s: its input stopped");
        return;
    }
    {
        LockGuard guard(services_.deviceLock);
        if (hidReady_) {
            const uint32_t length = std::min(bytesRead, inputReportLength_);
            reports_.process(std::span(readBuffer_.data(), length));
        }
    }
    requestRead();
}

Completion FilterDevice::connect(IMouseClassService& service) {
    IMouseClassService* expected = nullptr;
    if (!classService_.compare_exchange_strong(expected, &service))
        return {OBX_STATUS_SHARING_VIOLATION, 0};
    return {OBX_STATUS_SUCCESS, 0};
}

Completion FilterDevice::internalDeviceControl(uint32_t code, std::span<uint8_t> output) {
    switch (code) {
    case kMouseQueryAttributes: {
        if (output.size() < sizeof(MouseAttributes))
            return {OBX_STATUS_BUFFER_TOO_SMALL, 0};
        MouseAttributes attributes;
        std::memcpy(&attributes, output.data(), sizeof attributes); // the sample rate stays as it was
        attributes.mouseIdentifier = kWheelMouseHidHardware;
        attributes.numberOfButtons = kReportedButtons;
        attributes.inputDataQueueLength = kInputQueueLength;
        std::memcpy(output.data(), &attributes, sizeof attributes);
        return {OBX_STATUS_SUCCESS, sizeof attributes};
    }
    case kMouseDisconnect:
        return {OBX_STATUS_NOT_IMPLEMENTED, 0};
    case kMouseEnable:
    case kMouseDisable:
        return {OBX_STATUS_NOT_SUPPORTED, 0};
    default:
        return {OBX_STATUS_SUCCESS, 0, true};
    }
}

void FilterDevice::timerFired(uint32_t id) {
    LockGuard guard(services_.deviceLock);
    if (ITimer* t = timer(id); t == nullptr || t->tickWanted())
        processor_.timerTick(id);
}

void FilterDevice::sendPacket(const MouseInputData& packet) {
    if (IMouseClassService* service = classService_.load())
        service->serviceCallback(std::span(&packet, 1));
}

void FilterDevice::sendButtons(uint32_t downMask, uint32_t upMask) {
    MouseInputData packet;
    packet.buttonFlags =
        static_cast<uint16_t>(buttonFlags(downMask, kDownFlags) | buttonFlags(upMask, kUpFlags));
    sendPacket(packet);
}

void FilterDevice::sendMovement(int32_t dx, int32_t dy) {
    MouseInputData packet;
    packet.lastX = dx;
    packet.lastY = dy;
    sendPacket(packet);
}

void FilterDevice::sendWheel(uint32_t axis, int32_t amount) {
    if (axis != kVerticalWheel && axis != kHorizontalWheel)
        return;
    MouseInputData packet;
    packet.buttonFlags = axis == kVerticalWheel ? kMouseWheelFlag : kMouseHorizontalWheelFlag;
    // The record holds 16 bits: a larger amount is clamped, not wrapped into the other direction.
    packet.buttonData = static_cast<int16_t>(std::clamp<int32_t>(amount, INT16_MIN, INT16_MAX));
    sendPacket(packet);
}

void FilterDevice::reportToHelper(uint32_t pressed, uint32_t released) {
    control_.postEvent(pressed, released);
}

void FilterDevice::reportGesture(uint32_t buttons, uint8_t direction, uint8_t steps) {
    control_.postGesture(buttons, direction, steps);
}

ITimer* FilterDevice::timer(uint32_t id) const {
    return id >= kChordTimer && id <= kAutoScrollTimer ? services_.timers[id - 1] : nullptr;
}

bool FilterDevice::startTimer(uint32_t id, uint32_t milliseconds) {
    ITimer* t = timer(id);
    return t != nullptr && t->start(milliseconds);
}

void FilterDevice::stopTimer(uint32_t id) {
    if (ITimer* t = timer(id))
        t->stop();
}

void FilterDevice::traceTransition(const char* machine, const char* from, const char* event, const char* to) {
    if (services_.trace != nullptr)
        services_.trace->transition(machine, from, event, to);
}

bool FilterDevice::slowPointer() {
    LockGuard guard(services_.deviceLock);
    return processor_.slowPointer();
}

void FilterDevice::setSlowPointer(bool on) {
    LockGuard guard(services_.deviceLock);
    processor_.setSlowPointer(on);
}

bool FilterDevice::singleAxis() {
    LockGuard guard(services_.deviceLock);
    return processor_.singleAxis();
}

void FilterDevice::setSingleAxis(bool on) {
    LockGuard guard(services_.deviceLock);
    processor_.setSingleAxis(on);
}

OBX_SCROLL_PARAMS FilterDevice::scrollParams(uint8_t wheel) {
    LockGuard guard(services_.deviceLock);
    return processor_.scrollParams(wheel);
}

void FilterDevice::setScrollParams(const OBX_SCROLL_PARAMS& params) {
    LockGuard guard(services_.deviceLock);
    processor_.setScrollParams(params);
}

void FilterDevice::setButtonMap(const ButtonMap& map) {
    LockGuard guard(services_.deviceLock);
    processor_.setButtonMap(map);
}

void FilterDevice::buttonChange(uint32_t pressed, uint32_t released) {
    LockGuard guard(services_.deviceLock);
    processor_.buttonChange(pressed, released);
}

void FilterDevice::setHelperRegistered(bool registered) {
    LockGuard guard(services_.deviceLock);
    processor_.setHelperRegistered(registered);
}

OBX_DEVICE_INFO FilterDevice::deviceInfo() {
    LockGuard guard(services_.deviceLock);
    return info_;
}

} // namespace obx::driver
