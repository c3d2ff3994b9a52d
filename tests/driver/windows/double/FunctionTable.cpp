// The framework loader's side of the bind: the function table that the driver calls the framework
// through, with every function the double does not implement ending the run under its name.

#include "FrameworkFunctionNames.h" // generated from the KMDF headers: kFrameworkFunctionNames
#include "FrameworkState.h"
#include "Verifier.h"

#include <cwchar>
#include <utility>

namespace obx::kmdf_double {

namespace {

static_assert(std::size(kFrameworkFunctionNames) == WdfFunctionTableNumEntries);

// Every function of the table that the double does not implement ends the run, naming its index.
template <size_t Index>
void unimplemented() {
    Verifier::fatal(std::string("the driver called ") + kFrameworkFunctionNames[Index] +
                    ", which the double does not implement");
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
    installLockAndTimerFunctions(functionTable);
    installRequestFunctions(functionTable);
    installIoTargetFunctions(functionTable);
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

} // namespace

} // namespace obx::kmdf_double

using namespace obx::kmdf_double;

// The stub's imports of the loader, through the import pointers it calls.
extern "C" {
decltype(&versionBind) __imp_WdfVersionBind = versionBind;
decltype(&versionUnbind) __imp_WdfVersionUnbind = versionUnbind;
}
