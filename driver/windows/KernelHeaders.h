#pragma once

// The kernel, HID and framework headers in the one order in which they compile together, with the
// Windows Driver Kit's compiler and with mingw-w64's g++ (which the build's compile check uses).

#ifdef __MINGW32__
// g++ defines these as intrinsics; wdm.h would declare them again.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#endif

// The order matters: keep it as it is.
// clang-format off
#include <ntddk.h>

// The HID parser's headers have no C++ guard of their own in every kit.
extern "C" {
#include <hidusage.h>
#include <hidpi.h>
}

#include <hidclass.h>
#include <ntddmou.h>
#include <kbdmou.h>

#include <wdf.h>
// clang-format on

#ifdef __MINGW32__
// The context type macros place their type record with MSVC's declspecs; g++ places it this way.
#undef WDF_DECLARE_TYPE_AND_GLOBALS
#define WDF_DECLARE_TYPE_AND_GLOBALS(_contexttype, _UniqueType, _GetUniqueType, _section)                    \
    typedef _contexttype* WDF_TYPE_NAME_POINTER_TYPE(_contexttype);                                          \
    extern "C" __attribute__((selectany)) const WDF_OBJECT_CONTEXT_TYPE_INFO WDF_TYPE_NAME_TO_TYPE_INFO(     \
        _contexttype) = {sizeof(WDF_OBJECT_CONTEXT_TYPE_INFO), #_contexttype, sizeof(_contexttype),          \
                         _UniqueType, _GetUniqueType};

#undef WDF_DECLARE_CASTING_FUNCTION
#define WDF_DECLARE_CASTING_FUNCTION(_contexttype, _castingfunction)                                         \
    inline WDF_TYPE_NAME_POINTER_TYPE(_contexttype) _castingfunction(WDFOBJECT Handle) {                     \
        return static_cast<WDF_TYPE_NAME_POINTER_TYPE(_contexttype)>(                                        \
            WdfObjectGetTypedContextWorker(Handle, WDF_GET_CONTEXT_TYPE_INFO(_contexttype)->UniqueType));    \
    }
#endif
