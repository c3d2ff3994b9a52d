/*
 * Control interface between the filter driver and the helper.
 *
 * Everything here crosses a process (or kernel) boundary, so it is plain C: fixed-width fields,
 * packed, little-endian. Both the driver and the helper include this file; a kernel build may too.
 */
#ifndef OBX_DRIVER_SHARED_OBXCONTROL_H
#define OBX_DRIVER_SHARED_OBXCONTROL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define OBX_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define OBX_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* {1A629312-9256-4ED3-83CB-F5FE65F5E03A}: the device interface class of every control device. */
typedef struct OBX_GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} OBX_GUID;

#define OBX_GUID_DEVINTERFACE_OBX_CONTROL_INIT                                                               \
    {                                                                                                        \
        0x1A629312u, 0x9256u, 0x4ED3u, {                                                                     \
            0x83u, 0xCBu, 0xF5u, 0xFEu, 0x65u, 0xF5u, 0xE0u, 0x3Au                                           \
        }                                                                                                    \
    }

/* System and administrators: all access; users logged on interactively (the helper runs as one): read and
   write. Services, network logons and other non-interactive accounts get nothing. */
#define OBX_CONTROL_SECURITY_DESCRIPTOR "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;IU)"

/* Device type 0x22 (unknown), buffered, any access: (0x22 << 16) + (function << 2). */
#define OBX_CONTROL_CODE(function) ((uint32_t)((0x22u << 16) | ((uint32_t)(function) << 2)))

#define IOCTL_OBX_GET_DRIVER_INFO OBX_CONTROL_CODE(0x803)
#define IOCTL_OBX_SET_SLOW_POINTER OBX_CONTROL_CODE(0x805)
#define IOCTL_OBX_GET_SLOW_POINTER OBX_CONTROL_CODE(0x806)
#define IOCTL_OBX_SET_SINGLE_AXIS OBX_CONTROL_CODE(0x807)
#define IOCTL_OBX_GET_SINGLE_AXIS OBX_CONTROL_CODE(0x808)
#define IOCTL_OBX_RESERVED_1 OBX_CONTROL_CODE(0x809)
#define IOCTL_OBX_RESERVED_2 OBX_CONTROL_CODE(0x80A)
#define IOCTL_OBX_SET_SCROLL_PARAMS OBX_CONTROL_CODE(0x80B)
#define IOCTL_OBX_GET_SCROLL_PARAMS OBX_CONTROL_CODE(0x80C)
#define IOCTL_OBX_GET_DEVICE_INFO OBX_CONTROL_CODE(0x80D)
#define IOCTL_OBX_SET_BUTTON_MAP OBX_CONTROL_CODE(0x80E)
#define IOCTL_OBX_INJECT_BUTTONS OBX_CONTROL_CODE(0x80F)
#define IOCTL_OBX_REGISTER_HELPER OBX_CONTROL_CODE(0x810)

/* Completion statuses (NTSTATUS values). */
typedef uint32_t OBX_STATUS;
#define OBX_STATUS_SUCCESS ((OBX_STATUS)0x00000000u)
#define OBX_STATUS_BUFFER_OVERFLOW ((OBX_STATUS)0x80000005u)
#define OBX_STATUS_NO_MORE_ENTRIES ((OBX_STATUS)0x8000001Au)
#define OBX_STATUS_NOT_IMPLEMENTED ((OBX_STATUS)0xC0000002u)
#define OBX_STATUS_INVALID_PARAMETER ((OBX_STATUS)0xC000000Du)
#define OBX_STATUS_NO_SUCH_DEVICE ((OBX_STATUS)0xC000000Eu)
#define OBX_STATUS_INVALID_DEVICE_REQUEST ((OBX_STATUS)0xC0000010u)
#define OBX_STATUS_ACCESS_DENIED ((OBX_STATUS)0xC0000022u)
#define OBX_STATUS_BUFFER_TOO_SMALL ((OBX_STATUS)0xC0000023u)
#define OBX_STATUS_SHARING_VIOLATION ((OBX_STATUS)0xC0000043u)
#define OBX_STATUS_DELETE_PENDING ((OBX_STATUS)0xC0000056u)
#define OBX_STATUS_INSUFFICIENT_RESOURCES ((OBX_STATUS)0xC000009Au)
#define OBX_STATUS_DEVICE_DATA_ERROR ((OBX_STATUS)0xC000009Cu)
#define OBX_STATUS_DEVICE_NOT_CONNECTED ((OBX_STATUS)0xC000009Du)
#define OBX_STATUS_NOT_SUPPORTED ((OBX_STATUS)0xC00000BBu)
#define OBX_STATUS_INTERNAL_ERROR ((OBX_STATUS)0xC00000E5u)
#define OBX_STATUS_CANCELLED ((OBX_STATUS)0xC0000120u)

/* 2.2: OBX_DEVICE_INFO.Capabilities (was reserved) tells the buttons, wheel and pan that the device's
   descriptor declares. A driver of 2.1 leaves that field 0, which a helper reads as "not known".
   2.2 also adds the map entry kind OBX_MAP_GESTURE and the event record OBX_GESTURE_EVENT. A driver of
   2.1 stores an entry of a kind it does not know as kind 0 (OBX_MAP_BUTTONS), so a helper sends
   OBX_MAP_GESTURE only to a driver of 2.2 or later. */
#define OBX_DRIVER_VERSION 0x02020000u

/* Button mask bits of the horizontal pan, held while the pan reports a value. */
#define OBX_PAN_LEFT 0x40000000u
#define OBX_PAN_RIGHT 0x80000000u
#define OBX_PAN_BITS (OBX_PAN_LEFT | OBX_PAN_RIGHT)

/* Entry kinds and driver actions of the button map. */
#define OBX_MAP_BUTTONS 0u
#define OBX_MAP_ACTION 1u
/* The entry's buttons (one, or a chord) hold a gesture while they are down: the driver adds up the
   ball's travel and, by its mode, tells the helper a direction (OBX_GESTURE_EVENT), and while
   OBX_GESTURE_WHEEL is set it hands the wheel and the pan to the helper instead of scrolling. A press
   and release with neither is a tap. Data: OBX_MAP_GESTURE_DATA. */
#define OBX_MAP_GESTURE 2u

#define OBX_ACTION_SCROLL_UP 1u
#define OBX_ACTION_SCROLL_DOWN 2u
#define OBX_ACTION_SCROLL_LEFT 3u
#define OBX_ACTION_SCROLL_RIGHT 4u
#define OBX_ACTION_SCROLL_MODE 5u
#define OBX_ACTION_AUTO_SCROLL 6u

#define OBX_BUTTON_MAP_MAX_ENTRIES 32u

/* OBX_INJECT_BUTTONS: the only kind, and what to do. */
#define OBX_INJECT_KIND_BUTTONS 1u
#define OBX_INJECT_PRESS 1u
#define OBX_INJECT_RELEASE 2u
#define OBX_INJECT_CLICK 3u

#define OBX_BUTTON_EVENT_FLAGS 0x0008u
#define OBX_GESTURE_EVENT_FLAGS 0x0010u

/* OBX_MAP_GESTURE_DATA.Mode: what the ball's travel does while the buttons are held. With any mode
   other than OBX_GESTURE_TRAVEL_NONE the pointer does not move while they are held. The travel is the
   ball's own counts, before slow pointer and single axis. In mode REPEAT the first step fixes the
   direction until the release: travel back lowers the count and makes no step the other way, and the next
   step comes when the travel passes the next multiple of the threshold again (at most 8 steps a report).
   A driver of 2.2 keeps an entry of an unknown mode as kind 0 without output, as an entry of an unknown
   kind; flags it does not know are ignored. */
#define OBX_GESTURE_TRAVEL_NONE 0u /* the pointer moves as usual (a wheel-only gesture) */
#define OBX_GESTURE_TRAVEL_ONCE                                                                              \
    1u /* on release: the direction of the larger net travel, if past the threshold */
#define OBX_GESTURE_TRAVEL_REPEAT 2u /* while held: a step each time the travel passes another threshold */

/* OBX_MAP_GESTURE_DATA.Flags */
#define OBX_GESTURE_WHEEL 0x01u /* while held, wheel and pan turns are gesture events, not scrolling */
#define OBX_GESTURE_TAP_CLICK                                                                                \
    0x02u /* a tap clicks the entry's own buttons (1 to 5) in the driver; else                               \
             a tap is a gesture event */

#define OBX_GESTURE_THRESHOLD_MIN 10u
#define OBX_GESTURE_THRESHOLD_MAX 2000u
#define OBX_GESTURE_THRESHOLD_DEFAULT 200u

/* OBX_GESTURE_EVENT.Direction. Travel in screen terms: the ball's y negative is UP, x negative is LEFT,
   the axis of the larger net travel wins and the vertical one on a tie. WHEEL_UP and PAN_RIGHT are the
   wheel's and the pan's positive values, whatever the scroll inversion. */
#define OBX_GESTURE_UP 1u
#define OBX_GESTURE_DOWN 2u
#define OBX_GESTURE_LEFT 3u
#define OBX_GESTURE_RIGHT 4u
#define OBX_GESTURE_TAP 5u
#define OBX_GESTURE_WHEEL_UP 6u
#define OBX_GESTURE_WHEEL_DOWN 7u
#define OBX_GESTURE_PAN_LEFT 8u
#define OBX_GESTURE_PAN_RIGHT 9u

#pragma pack(push, 1)

typedef struct OBX_DRIVER_INFO {
    uint32_t Size;
    uint32_t Version;
} OBX_DRIVER_INFO;

#define OBX_DEVICE_STRING_CHARS 127u

/* OBX_DEVICE_INFO.Capabilities: the highest button usage of the device's input reports (0: not
   known) in the low byte, and whether it has a wheel and an AC Pan. */
#define OBX_CAPABILITY_BUTTONS_MASK 0x00FFu
#define OBX_CAPABILITY_WHEEL 0x0100u
#define OBX_CAPABILITY_PAN 0x0200u

typedef struct OBX_DEVICE_INFO {
    uint16_t Capabilities;
    uint16_t ProductId;
    uint16_t VersionNumber;
    uint16_t ProductString[OBX_DEVICE_STRING_CHARS];
    uint16_t SerialNumberString[OBX_DEVICE_STRING_CHARS];
} OBX_DEVICE_INFO;

typedef struct OBX_SCROLL_PARAMS {
    uint8_t Wheel;
    uint8_t Invert;
    uint8_t Inertial;
    uint8_t Reserved[5];
} OBX_SCROLL_PARAMS;

typedef struct OBX_MAP_ACTION_DATA {
    uint8_t Action;
    uint8_t Amount;
    uint8_t Reserved[2];
} OBX_MAP_ACTION_DATA;

/* A threshold outside OBX_GESTURE_THRESHOLD_MIN..MAX is clamped to that range; 0 means the default. */
typedef struct OBX_MAP_GESTURE_DATA {
    uint8_t Mode;
    uint8_t Flags;
    uint16_t Threshold; /* ball counts */
} OBX_MAP_GESTURE_DATA;

typedef struct OBX_BUTTON_MAP_ENTRY {
    uint32_t Buttons;
    uint8_t Kind;
    union {
        uint32_t OutputButtons;
        OBX_MAP_ACTION_DATA Action;
        OBX_MAP_GESTURE_DATA Gesture;
    } Data;
} OBX_BUTTON_MAP_ENTRY;

typedef struct OBX_BUTTON_MAP {
    uint32_t Size;
    uint32_t ChordMask;
    uint32_t Count;
    OBX_BUTTON_MAP_ENTRY Entries[OBX_BUTTON_MAP_MAX_ENTRIES];
} OBX_BUTTON_MAP;

typedef struct OBX_INJECT_BUTTONS {
    uint32_t Ignored;
    uint32_t Kind;
    uint32_t Buttons;
    uint32_t What;
    uint8_t Reserved[248];
} OBX_INJECT_BUTTONS;

typedef struct OBX_BUTTON_EVENT {
    uint8_t Zero1[12];
    uint16_t Flags;
    uint8_t Zero2[12];
    uint64_t TimeMs;
    uint32_t Pressed;
    uint32_t Released;
} OBX_BUTTON_EVENT;

/* The same size and flag offset as OBX_BUTTON_EVENT, so a reader tells them apart by Flags alone. */
typedef struct OBX_GESTURE_EVENT {
    uint8_t Zero1[12];
    uint16_t Flags; /* OBX_GESTURE_EVENT_FLAGS */
    uint8_t Zero2[12];
    uint64_t TimeMs;
    uint32_t Buttons;  /* the map entry's buttons */
    uint8_t Direction; /* OBX_GESTURE_* */
    uint8_t Steps;     /* how many: 1 for travel and tap, the notches of a wheel or pan turn (1 to 255) */
    uint16_t Reserved;
} OBX_GESTURE_EVENT;

#pragma pack(pop)

OBX_STATIC_ASSERT(sizeof(OBX_GUID) == 16, "OBX_GUID size");

OBX_STATIC_ASSERT(sizeof(OBX_DRIVER_INFO) == 8, "OBX_DRIVER_INFO size");
OBX_STATIC_ASSERT(offsetof(OBX_DRIVER_INFO, Version) == 4, "OBX_DRIVER_INFO.Version");

OBX_STATIC_ASSERT(sizeof(OBX_DEVICE_INFO) == 514, "OBX_DEVICE_INFO size");
OBX_STATIC_ASSERT(offsetof(OBX_DEVICE_INFO, ProductId) == 2, "OBX_DEVICE_INFO.ProductId");
OBX_STATIC_ASSERT(offsetof(OBX_DEVICE_INFO, VersionNumber) == 4, "OBX_DEVICE_INFO.VersionNumber");
OBX_STATIC_ASSERT(offsetof(OBX_DEVICE_INFO, ProductString) == 6, "OBX_DEVICE_INFO.ProductString");
OBX_STATIC_ASSERT(offsetof(OBX_DEVICE_INFO, SerialNumberString) == 260, "OBX_DEVICE_INFO.SerialNumberString");

OBX_STATIC_ASSERT(sizeof(OBX_SCROLL_PARAMS) == 8, "OBX_SCROLL_PARAMS size");
OBX_STATIC_ASSERT(offsetof(OBX_SCROLL_PARAMS, Invert) == 1, "OBX_SCROLL_PARAMS.Invert");
OBX_STATIC_ASSERT(offsetof(OBX_SCROLL_PARAMS, Inertial) == 2, "OBX_SCROLL_PARAMS.Inertial");

OBX_STATIC_ASSERT(sizeof(OBX_BUTTON_MAP_ENTRY) == 9, "OBX_BUTTON_MAP_ENTRY size");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_MAP_ENTRY, Kind) == 4, "OBX_BUTTON_MAP_ENTRY.Kind");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_MAP_ENTRY, Data) == 5, "OBX_BUTTON_MAP_ENTRY.Data");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_MAP_ENTRY, Data.Action.Amount) == 6, "OBX_BUTTON_MAP_ENTRY amount");

OBX_STATIC_ASSERT(sizeof(OBX_BUTTON_MAP) == 300, "OBX_BUTTON_MAP size");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_MAP, ChordMask) == 4, "OBX_BUTTON_MAP.ChordMask");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_MAP, Count) == 8, "OBX_BUTTON_MAP.Count");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_MAP, Entries) == 12, "OBX_BUTTON_MAP.Entries");

OBX_STATIC_ASSERT(sizeof(OBX_INJECT_BUTTONS) == 264, "OBX_INJECT_BUTTONS size");
OBX_STATIC_ASSERT(offsetof(OBX_INJECT_BUTTONS, Kind) == 4, "OBX_INJECT_BUTTONS.Kind");
OBX_STATIC_ASSERT(offsetof(OBX_INJECT_BUTTONS, Buttons) == 8, "OBX_INJECT_BUTTONS.Buttons");
OBX_STATIC_ASSERT(offsetof(OBX_INJECT_BUTTONS, What) == 12, "OBX_INJECT_BUTTONS.What");

OBX_STATIC_ASSERT(sizeof(OBX_BUTTON_EVENT) == 42, "OBX_BUTTON_EVENT size");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_EVENT, Flags) == 12, "OBX_BUTTON_EVENT.Flags");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_EVENT, TimeMs) == 26, "OBX_BUTTON_EVENT.TimeMs");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_EVENT, Pressed) == 34, "OBX_BUTTON_EVENT.Pressed");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_EVENT, Released) == 38, "OBX_BUTTON_EVENT.Released");

OBX_STATIC_ASSERT(sizeof(OBX_MAP_GESTURE_DATA) == 4, "OBX_MAP_GESTURE_DATA size");
OBX_STATIC_ASSERT(offsetof(OBX_BUTTON_MAP_ENTRY, Data.Gesture.Threshold) == 7,
                  "OBX_BUTTON_MAP_ENTRY threshold");

OBX_STATIC_ASSERT(sizeof(OBX_GESTURE_EVENT) == sizeof(OBX_BUTTON_EVENT), "OBX_GESTURE_EVENT size");
OBX_STATIC_ASSERT(offsetof(OBX_GESTURE_EVENT, Flags) == 12, "OBX_GESTURE_EVENT.Flags");
OBX_STATIC_ASSERT(offsetof(OBX_GESTURE_EVENT, Buttons) == 34, "OBX_GESTURE_EVENT.Buttons");
OBX_STATIC_ASSERT(offsetof(OBX_GESTURE_EVENT, Direction) == 38, "OBX_GESTURE_EVENT.Direction");
OBX_STATIC_ASSERT(offsetof(OBX_GESTURE_EVENT, Steps) == 39, "OBX_GESTURE_EVENT.Steps");

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* OBX_DRIVER_SHARED_OBXCONTROL_H */
