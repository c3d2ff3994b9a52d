#include "CpuEmulation.h"

#include "Verifier.h"

#include <cstdio>
#include <windows.h>

namespace obx::kmdf_double {

namespace {

constexpr DWORD64 kSharedTickCount = 0xFFFFF78000000320ull;
uint64_t tickCount = 0;

// The general registers in the encoding's order, as the context record keeps them.
DWORD64& registerAt(CONTEXT& context, unsigned index) {
    return (&context.Rax)[index];
}

// mov r64, cr8 (REX.R 0F 20 /r) and mov cr8, r64 (REX.R 0F 22 /r).
bool emulateCr8(CONTEXT& context, const uint8_t* code) {
    const uint8_t rex = code[0];
    if ((rex & 0xF4) != 0x44 || code[1] != 0x0F || (code[2] != 0x20 && code[2] != 0x22) ||
        (code[3] & 0xF8) != 0xC0)
        return false;
    DWORD64& general = registerAt(context, (code[3] & 7) | ((rex & 1) << 3));
    if (code[2] == 0x20)
        general = Verifier::irql();
    else
        Verifier::setIrql(static_cast<uint8_t>(general), "KeRaiseIrql/KeLowerIrql");
    context.Rip += 4;
    return true;
}

// mov r64, [r64] (REX.W 8B /r, no displacement) of the shared page's tick count.
bool emulateTickRead(CONTEXT& context, const uint8_t* code) {
    const uint8_t rex = code[0];
    if ((rex & 0xF8) != 0x48 || code[1] != 0x8B || (code[2] & 0xC0) != 0 || (code[2] & 7) == 4 ||
        (code[2] & 7) == 5)
        return false;
    const DWORD64 address = registerAt(context, (code[2] & 7) | ((rex & 1) << 3));
    if (address != kSharedTickCount)
        return false;
    registerAt(context, ((code[2] >> 3) & 7) | ((rex & 4) << 1)) = tickCount;
    context.Rip += 3;
    return true;
}

LONG CALLBACK emulate(EXCEPTION_POINTERS* exception) {
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    if (code != EXCEPTION_PRIV_INSTRUCTION && code != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT& context = *exception->ContextRecord;
    const auto* instruction = reinterpret_cast<const uint8_t*>(context.Rip);
    if (emulateCr8(context, instruction) || emulateTickRead(context, instruction))
        return EXCEPTION_CONTINUE_EXECUTION;
    char message[96];
    std::snprintf(message, sizeof message, "exception %08lx at %p that the double does not emulate",
                  static_cast<unsigned long>(code), static_cast<const void*>(instruction));
    Verifier::fatal(message);
}

} // namespace

void installCpuEmulation() {
    static const PVOID handler = AddVectoredExceptionHandler(1, emulate);
    if (handler == nullptr)
        Verifier::fatal("AddVectoredExceptionHandler failed");
}

void setTickCount(uint64_t ticks) {
    tickCount = ticks;
}

} // namespace obx::kmdf_double
