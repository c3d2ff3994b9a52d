// The kernel's and the HID parser's routines that the driver imports, and the framework loader's bind.

#include "FrameworkState.h"
#include "Verifier.h"
#include "driver/hid/ReportDescriptorParser.h"
#include "driver/hid/UsageListDifference.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace obx::kmdf_double {

void installDeviceFunctions(WDFFUNC* table);
void installRequestFunctions(WDFFUNC* table);

namespace {

// Every function of the table that the double does not implement ends the run, naming its index.
template <size_t Index>
void unimplemented() {
    Verifier::fatal("the driver called framework function #" + std::to_string(Index) +
                    " (WDFFUNCENUM), which the double does not implement");
}

template <size_t... Index>
void fillWithTraps(WDFFUNC* table, std::index_sequence<Index...>) {
    ((table[Index] = reinterpret_cast<WDFFUNC>(&unimplemented<Index>)), ...);
}

WDFFUNC functionTable[WdfFunctionTableNumEntries];
WDF_DRIVER_GLOBALS driverGlobals{};

// The loader's bind record as the stub fills it: only the fields the double reads.
struct BindInfo {
    ULONG size;
    PWCHAR component;
    ULONG major, minor, build;
    ULONG functionCount;
    WDFFUNC* functionTable;
    PVOID module;
};

NTSTATUS NTAPI versionBind(PDRIVER_OBJECT, PUNICODE_STRING registryPath, BindInfo* info,
                           PWDF_DRIVER_GLOBALS* globals) {
    Verifier::requirePassive("WdfVersionBind");
    FrameworkState& s = state();
    if (s.bound)
        Verifier::violation("WdfVersionBind called twice");
    if (info->major != 1 || info->minor != 33 || info->functionCount != WdfFunctionTableNumEntries ||
        std::wcscmp(info->component, L"KmdfLibrary") != 0 || registryPath == nullptr)
        Verifier::violation("WdfVersionBind: the bind record does not ask for KMDF 1.33's library");
    fillWithTraps(functionTable, std::make_index_sequence<WdfFunctionTableNumEntries>());
    installDeviceFunctions(functionTable);
    installRequestFunctions(functionTable);
    // The stub gives the address of its table pointer.
    *reinterpret_cast<WDFFUNC**>(info->functionTable) = functionTable;
    *globals = &driverGlobals;
    s.bound = true;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI versionUnbind(PUNICODE_STRING, BindInfo*, PWDF_DRIVER_GLOBALS globals) {
    Verifier::requirePassive("WdfVersionUnbind");
    FrameworkState& s = state();
    if (!s.bound || globals != &driverGlobals)
        Verifier::violation("WdfVersionUnbind without a bind");
    if (s.driver != nullptr)
        Verifier::violation("WdfVersionUnbind before the framework's unload deleted the driver object");
    s.bound = false;
    ++s.unbinds;
    return STATUS_SUCCESS;
}

PVOID NTAPI allocatePool(POOL_TYPE type, SIZE_T size, ULONG) {
    if (type == PagedPool)
        Verifier::requirePassive("ExAllocatePoolWithTag (paged)");
    else
        Verifier::requireAtMost(kDispatchLevel, "ExAllocatePoolWithTag");
    void* block = std::malloc(size == 0 ? 1 : size);
    state().pool[block] = size;
    return block;
}

VOID NTAPI freePool(PVOID block, ULONG) {
    Verifier::requireAtMost(kDispatchLevel, "ExFreePoolWithTag");
    if (state().pool.erase(block) == 0) {
        Verifier::violation("ExFreePoolWithTag of a block that is not allocated");
        return;
    }
    std::free(block);
}

BOOLEAN NTAPI wdmVersionAvailable(UCHAR major, UCHAR minor) {
    return major < 6 || (major == 6 && minor <= 0x30); // Windows 10
}

ULONG NTAPI queryTimeIncrement() {
    return 10000; // 1 ms: the double's tick is a millisecond
}

NTSTATUS NTAPI getVersion(PRTL_OSVERSIONINFOW info) {
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    return STATUS_SUCCESS;
}

// The "preparsed data" is the report descriptor (the double's HID class hands it out so); the parser
// of each block is made when the driver asks for its capabilities.
std::map<const void*, std::unique_ptr<hid::ReportDescriptorParser>> parsers;
std::map<const void*, size_t> descriptorSizes;

const hid::ReportDescriptorParser* parserOf(PHIDP_PREPARSED_DATA preparsed, const char* call) {
    const auto found = parsers.find(preparsed);
    if (found == parsers.end())
        Verifier::fatal(std::string(call) + " called with preparsed data that HidP_GetCaps never saw");
    return found->second.get();
}

NTSTATUS toHidp(hid::HidStatus status) {
    switch (status) {
    case hid::HidStatus::Success:
        return HIDP_STATUS_SUCCESS;
    case hid::HidStatus::InvalidReportLength:
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    case hid::HidStatus::IncompatibleReportId:
        return HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
    case hid::HidStatus::UsageNotFound:
        return HIDP_STATUS_USAGE_NOT_FOUND;
    case hid::HidStatus::BufferTooSmall:
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    case hid::HidStatus::Null:
        return HIDP_STATUS_NULL;
    case hid::HidStatus::ValueOutOfRange:
        return HIDP_STATUS_VALUE_OUT_OF_RANGE;
    case hid::HidStatus::BadLogPhyValues:
        return HIDP_STATUS_BAD_LOG_PHY_VALUES;
    default:
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
}

} // namespace

void registerPreparsedSize(const void* block, size_t size) {
    descriptorSizes[block] = size;
}

} // namespace obx::kmdf_double

using namespace obx::kmdf_double;

extern "C" {

// The driver's imports of the kernel and the loader, through the import pointers it calls.
decltype(&versionBind) __imp_WdfVersionBind = versionBind;
decltype(&versionUnbind) __imp_WdfVersionUnbind = versionUnbind;
decltype(&allocatePool) __imp_ExAllocatePoolWithTag = allocatePool;
decltype(&freePool) __imp_ExFreePoolWithTag = freePool;
decltype(&wdmVersionAvailable) __imp_IoIsWdmVersionAvailable = wdmVersionAvailable;
decltype(&queryTimeIncrement) __imp_KeQueryTimeIncrement = queryTimeIncrement;
decltype(&getVersion) __imp_RtlGetVersion = getVersion;

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps) {
    Verifier::requirePassive("HidP_GetCaps");
    const auto size = descriptorSizes.find(preparsed);
    if (size == descriptorSizes.end())
        Verifier::fatal("HidP_GetCaps called with a block that is not the collection's preparsed data");
    auto parser = std::make_unique<obx::hid::ReportDescriptorParser>();
    const std::span<uint8_t> storage = parser->descriptorStorage(static_cast<uint32_t>(size->second));
    std::memcpy(storage.data(), preparsed, size->second);
    obx::hid::HidCaps parsed;
    const obx::hid::HidStatus status = parser->load(parsed);
    if (status != obx::hid::HidStatus::Success)
        return toHidp(status);
    *caps = HIDP_CAPS{};
    caps->UsagePage = parsed.usagePage;
    caps->Usage = parsed.usage;
    caps->InputReportByteLength = parsed.inputReportByteLength;
    caps->OutputReportByteLength = parsed.outputReportByteLength;
    caps->FeatureReportByteLength = parsed.featureReportByteLength;
    parsers[preparsed] = std::move(parser);
    return HIDP_STATUS_SUCCESS;
}

ULONG NTAPI HidP_MaxUsageListLength(HIDP_REPORT_TYPE type, USAGE page, PHIDP_PREPARSED_DATA preparsed) {
    Verifier::requirePassive("HidP_MaxUsageListLength");
    if (type != HidP_Input)
        Verifier::violation("HidP_MaxUsageListLength: not an input report");
    return parserOf(preparsed, "HidP_MaxUsageListLength")->maxUsageListLength(page);
}

NTSTATUS NTAPI HidP_GetUsages(HIDP_REPORT_TYPE type, USAGE page, USHORT, PUSAGE usages, PULONG length,
                              PHIDP_PREPARSED_DATA preparsed, PCHAR report, ULONG reportLength) {
    Verifier::requireAtMost(kDispatchLevel, "HidP_GetUsages");
    if (type != HidP_Input)
        Verifier::violation("HidP_GetUsages: not an input report");
    uint32_t count = 0;
    const auto status =
        parserOf(preparsed, "HidP_GetUsages")
            ->getUsages(page, std::span(reinterpret_cast<const uint8_t*>(report), reportLength),
                        std::span(usages, *length), count);
    *length = count;
    return toHidp(status);
}

NTSTATUS NTAPI HidP_GetScaledUsageValue(HIDP_REPORT_TYPE type, USAGE page, USHORT, USAGE usage, PLONG value,
                                        PHIDP_PREPARSED_DATA preparsed, PCHAR report, ULONG reportLength) {
    Verifier::requireAtMost(kDispatchLevel, "HidP_GetScaledUsageValue");
    if (type != HidP_Input)
        Verifier::violation("HidP_GetScaledUsageValue: not an input report");
    int32_t scaled = 0;
    const auto status =
        parserOf(preparsed, "HidP_GetScaledUsageValue")
            ->getScaledUsageValue(page, usage,
                                  std::span(reinterpret_cast<const uint8_t*>(report), reportLength), scaled);
    *value = scaled;
    return toHidp(status);
}

NTSTATUS NTAPI HidP_UsageListDifference(PUSAGE previous, PUSAGE current, PUSAGE breakList, PUSAGE makeList,
                                        ULONG length) {
    Verifier::requireAtMost(kDispatchLevel, "HidP_UsageListDifference");
    const bool done = obx::hid::usageListDifference(
        std::span<const uint16_t>(previous, length), std::span<const uint16_t>(current, length),
        std::span(breakList, length), std::span(makeList, length), length);
    return done ? HIDP_STATUS_SUCCESS : HIDP_STATUS_BUFFER_TOO_SMALL;
}

} // extern "C"
