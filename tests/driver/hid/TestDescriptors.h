#pragma once

// Report descriptors of typical pointing devices, written from the HID usage tables, and damaged ones.
// Reports are given in the class driver's form: byte 0 is the report id, 0 without report ids.

#include <cstdint>
#include <vector>

namespace obx::test {

using Bytes = std::vector<uint8_t>;

// Five buttons, 8-bit X, Y and wheel, and an AC Pan on the consumer page; no report ids.
// Report: id(0) buttons x y wheel pan.
inline const Bytes kFiveButtonTrackball = {
    0x05, 0x01,       // Usage Page (Generic Desktop)
    0x09, 0x02,       // Usage (Mouse)
    0xA1, 0x01,       // Collection (Application)
    0x09, 0x01,       //   Usage (Pointer)
    0xA1, 0x00,       //   Collection (Physical)
    0x05, 0x09,       //     Usage Page (Button)
    0x19, 0x01,       //     Usage Minimum (1)
    0x29, 0x05,       //     Usage Maximum (5)
    0x15, 0x00,       //     Logical Minimum (0)
    0x25, 0x01,       //     Logical Maximum (1)
    0x75, 0x01,       //     Report Size (1)
    0x95, 0x05,       //     Report Count (5)
    0x81, 0x02,       //     Input (Data, Variable, Absolute)
    0x75, 0x03,       //     Report Size (3)
    0x95, 0x01,       //     Report Count (1)
    0x81, 0x01,       //     Input (Constant)
    0x05, 0x01,       //     Usage Page (Generic Desktop)
    0x09, 0x30,       //     Usage (X)
    0x09, 0x31,       //     Usage (Y)
    0x09, 0x38,       //     Usage (Wheel)
    0x15, 0x81,       //     Logical Minimum (-127)
    0x25, 0x7F,       //     Logical Maximum (127)
    0x75, 0x08,       //     Report Size (8)
    0x95, 0x03,       //     Report Count (3)
    0x81, 0x06,       //     Input (Data, Variable, Relative)
    0x05, 0x0C,       //     Usage Page (Consumer)
    0x0A, 0x38, 0x02, //     Usage (AC Pan)
    0x95, 0x01,       //     Report Count (1)
    0x81, 0x06,       //     Input (Data, Variable, Relative)
    0xC0,             //   End Collection
    0xC0,             // End Collection
};

// Report id 1: eight buttons, 16-bit X and Y, 8-bit wheel, AC Pan as an extended usage.
// Report id 2: a consumer-control array (volume keys) of one byte. Report 1: id b x.lo x.hi y.lo y.hi w p.
inline const Bytes kReportIdMouse = {
    0x05, 0x01,                   // Usage Page (Generic Desktop)
    0x09, 0x02,                   // Usage (Mouse)
    0xA1, 0x01,                   // Collection (Application)
    0x85, 0x01,                   //   Report ID (1)
    0x09, 0x01,                   //   Usage (Pointer)
    0xA1, 0x00,                   //   Collection (Physical)
    0x05, 0x09,                   //     Usage Page (Button)
    0x19, 0x01,                   //     Usage Minimum (1)
    0x29, 0x08,                   //     Usage Maximum (8)
    0x15, 0x00,                   //     Logical Minimum (0)
    0x25, 0x01,                   //     Logical Maximum (1)
    0x75, 0x01,                   //     Report Size (1)
    0x95, 0x08,                   //     Report Count (8)
    0x81, 0x02,                   //     Input (Data, Variable, Absolute)
    0x05, 0x01,                   //     Usage Page (Generic Desktop)
    0x09, 0x30,                   //     Usage (X)
    0x09, 0x31,                   //     Usage (Y)
    0x16, 0x01, 0x80,             //     Logical Minimum (-32767)
    0x26, 0xFF, 0x7F,             //     Logical Maximum (32767)
    0x75, 0x10,                   //     Report Size (16)
    0x95, 0x02,                   //     Report Count (2)
    0x81, 0x06,                   //     Input (Data, Variable, Relative)
    0x09, 0x38,                   //     Usage (Wheel)
    0x15, 0x81,                   //     Logical Minimum (-127)
    0x25, 0x7F,                   //     Logical Maximum (127)
    0x75, 0x08,                   //     Report Size (8)
    0x95, 0x01,                   //     Report Count (1)
    0x81, 0x06,                   //     Input (Data, Variable, Relative)
    0x0B, 0x38, 0x02, 0x0C, 0x00, //     Usage (Consumer: AC Pan), extended
    0x81, 0x06,                   //     Input (Data, Variable, Relative)
    0xC0,                         //   End Collection
    0xC0,                         // End Collection
    0x05, 0x0C,                   // Usage Page (Consumer)
    0x09, 0x01,                   // Usage (Consumer Control)
    0xA1, 0x01,                   // Collection (Application)
    0x85, 0x02,                   //   Report ID (2)
    0x19, 0x00,                   //   Usage Minimum (0)
    0x2A, 0xFF, 0x02,             //   Usage Maximum (0x2FF)
    0x15, 0x00,                   //   Logical Minimum (0)
    0x26, 0xFF, 0x02,             //   Logical Maximum (0x2FF)
    0x75, 0x10,                   //   Report Size (16)
    0x95, 0x01,                   //   Report Count (1)
    0x81, 0x00,                   //   Input (Data, Array, Absolute)
    0xC0,                         // End Collection
};

// Buttons as an array of two slots (0 = none), X and Y with a physical range ten times the logical one,
// and a wheel of unsigned logical range. Report: id slot0 slot1 x y wheel.
inline const Bytes kArrayButtonsPhysical = {
    0x05, 0x01,       // Usage Page (Generic Desktop)
    0x09, 0x02,       // Usage (Mouse)
    0xA1, 0x01,       // Collection (Application)
    0x05, 0x09,       //   Usage Page (Button)
    0x19, 0x01,       //   Usage Minimum (1)
    0x29, 0x08,       //   Usage Maximum (8)
    0x15, 0x01,       //   Logical Minimum (1)
    0x25, 0x08,       //   Logical Maximum (8)
    0x75, 0x08,       //   Report Size (8)
    0x95, 0x02,       //   Report Count (2)
    0x81, 0x00,       //   Input (Data, Array, Absolute)
    0x05, 0x01,       //   Usage Page (Generic Desktop)
    0x09, 0x30,       //   Usage (X)
    0x09, 0x31,       //   Usage (Y)
    0x15, 0x81,       //   Logical Minimum (-127)
    0x25, 0x7F,       //   Logical Maximum (127)
    0x36, 0x0A, 0xFB, // Physical Minimum (-1270)
    0x46, 0xF6, 0x04, // Physical Maximum (1270)
    0x95, 0x02,       //   Report Count (2)
    0x81, 0x06,       //   Input (Data, Variable, Relative)
    0x09, 0x38,       //   Usage (Wheel)
    0x15, 0x00,       //   Logical Minimum (0)
    0x25, 0x0A,       //   Logical Maximum (10)
    0x35, 0x00,       //   Physical Minimum (0)
    0x45, 0x00,       //   Physical Maximum (0)
    0x95, 0x01,       //   Report Count (1)
    0x81, 0x42,       //   Input (Data, Variable, Absolute, Null State)
    0xC0,             // End Collection
};

// Three buttons in byte 1, X, Y, wheel, and a vendor byte whose two low bits carry two more buttons:
// the six-byte layout that the driver rewrites for the model that sends it.
inline const Bytes kSplitButtonTrackball = {
    0x05, 0x01,       // Usage Page (Generic Desktop)
    0x09, 0x02,       // Usage (Mouse)
    0xA1, 0x01,       // Collection (Application)
    0x05, 0x09,       //   Usage Page (Button)
    0x19, 0x01,       //   Usage Minimum (1)
    0x29, 0x03,       //   Usage Maximum (3)
    0x15, 0x00,       //   Logical Minimum (0)
    0x25, 0x01,       //   Logical Maximum (1)
    0x75, 0x01,       //   Report Size (1)
    0x95, 0x03,       //   Report Count (3)
    0x81, 0x02,       //   Input (Data, Variable, Absolute)
    0x95, 0x05,       //   Report Count (5)
    0x81, 0x01,       //   Input (Constant)
    0x05, 0x01,       //   Usage Page (Generic Desktop)
    0x09, 0x30,       //   Usage (X)
    0x09, 0x31,       //   Usage (Y)
    0x09, 0x38,       //   Usage (Wheel)
    0x15, 0x81,       //   Logical Minimum (-127)
    0x25, 0x7F,       //   Logical Maximum (127)
    0x75, 0x08,       //   Report Size (8)
    0x95, 0x03,       //   Report Count (3)
    0x81, 0x06,       //   Input (Data, Variable, Relative)
    0x06, 0x00, 0xFF, //   Usage Page (Vendor 0xFF00)
    0x09, 0x01,       //   Usage (1)
    0x15, 0x00,       //   Logical Minimum (0)
    0x26, 0xFF, 0x00, //   Logical Maximum (255)
    0x95, 0x01,       //   Report Count (1)
    0x81, 0x02,       //   Input (Data, Variable, Absolute)
    0xC0,             // End Collection
};

// Report id 1: five buttons, 16-bit X, Y and wheel, 8-bit AC Pan. The wheel and the pan each sit in a
// Logical collection with a Resolution Multiplier in feature report 2 (bits 0-1 the wheel's, physical
// 1 to 8; bits 2-3 the pan's, physical 1 to 4). Report 1: id b x.lo x.hi y.lo y.hi w.lo w.hi pan.
inline const Bytes kHighResolutionMouse = {
    0x05, 0x01,       // Usage Page (Generic Desktop)
    0x09, 0x02,       // Usage (Mouse)
    0xA1, 0x01,       // Collection (Application)
    0x85, 0x01,       //   Report ID (1)
    0x09, 0x01,       //   Usage (Pointer)
    0xA1, 0x00,       //   Collection (Physical)
    0x05, 0x09,       //     Usage Page (Button)
    0x19, 0x01,       //     Usage Minimum (1)
    0x29, 0x05,       //     Usage Maximum (5)
    0x15, 0x00,       //     Logical Minimum (0)
    0x25, 0x01,       //     Logical Maximum (1)
    0x75, 0x01,       //     Report Size (1)
    0x95, 0x05,       //     Report Count (5)
    0x81, 0x02,       //     Input (Data, Variable, Absolute)
    0x95, 0x03,       //     Report Count (3)
    0x81, 0x01,       //     Input (Constant)
    0x05, 0x01,       //     Usage Page (Generic Desktop)
    0x09, 0x30,       //     Usage (X)
    0x09, 0x31,       //     Usage (Y)
    0x16, 0x01, 0x80, //     Logical Minimum (-32767)
    0x26, 0xFF, 0x7F, //     Logical Maximum (32767)
    0x75, 0x10,       //     Report Size (16)
    0x95, 0x02,       //     Report Count (2)
    0x81, 0x06,       //     Input (Data, Variable, Relative)
    0xA1, 0x02,       //     Collection (Logical)
    0x85, 0x02,       //       Report ID (2)
    0x09, 0x48,       //       Usage (Resolution Multiplier)
    0x15, 0x00,       //       Logical Minimum (0)
    0x25, 0x01,       //       Logical Maximum (1)
    0x35, 0x01,       //       Physical Minimum (1)
    0x45, 0x08,       //       Physical Maximum (8)
    0x75, 0x02,       //       Report Size (2)
    0x95, 0x01,       //       Report Count (1)
    0xB1, 0x02,       //       Feature (Data, Variable, Absolute)
    0x85, 0x01,       //       Report ID (1)
    0x35, 0x00,       //       Physical Minimum (0)
    0x45, 0x00,       //       Physical Maximum (0)
    0x09, 0x38,       //       Usage (Wheel)
    0x16, 0x01, 0x80, //       Logical Minimum (-32767)
    0x26, 0xFF, 0x7F, //       Logical Maximum (32767)
    0x75, 0x10,       //       Report Size (16)
    0x81, 0x06,       //       Input (Data, Variable, Relative)
    0xC0,             //     End Collection
    0xA1, 0x02,       //     Collection (Logical)
    0x85, 0x02,       //       Report ID (2)
    0x09, 0x48,       //       Usage (Resolution Multiplier)
    0x15, 0x00,       //       Logical Minimum (0)
    0x25, 0x01,       //       Logical Maximum (1)
    0x35, 0x01,       //       Physical Minimum (1)
    0x45, 0x04,       //       Physical Maximum (4)
    0x75, 0x02,       //       Report Size (2)
    0xB1, 0x02,       //       Feature (Data, Variable, Absolute)
    0x75, 0x04,       //       Report Size (4)
    0xB1, 0x01,       //       Feature (Constant)
    0x85, 0x01,       //       Report ID (1)
    0x35, 0x00,       //       Physical Minimum (0)
    0x45, 0x00,       //       Physical Maximum (0)
    0x05, 0x0C,       //       Usage Page (Consumer)
    0x0A, 0x38, 0x02, //       Usage (AC Pan)
    0x15, 0x81,       //       Logical Minimum (-127)
    0x25, 0x7F,       //       Logical Maximum (127)
    0x75, 0x08,       //       Report Size (8)
    0x81, 0x06,       //       Input (Data, Variable, Relative)
    0xC0,             //     End Collection
    0xC0,             //   End Collection
    0xC0,             // End Collection
};

// Two application collections whose reports both carry buttons: report 1 a mouse (three buttons, X
// and Y), report 2 a keypad of two buttons. Report 1: id b x y; report 2: id b.
inline const Bytes kTwoButtonReports = {
    0x05, 0x01, // Usage Page (Generic Desktop)
    0x09, 0x02, // Usage (Mouse)
    0xA1, 0x01, // Collection (Application)
    0x85, 0x01, //   Report ID (1)
    0x05, 0x09, //   Usage Page (Button)
    0x19, 0x01, //   Usage Minimum (1)
    0x29, 0x03, //   Usage Maximum (3)
    0x15, 0x00, //   Logical Minimum (0)
    0x25, 0x01, //   Logical Maximum (1)
    0x75, 0x01, //   Report Size (1)
    0x95, 0x03, //   Report Count (3)
    0x81, 0x02, //   Input (Data, Variable, Absolute)
    0x95, 0x05, //   Report Count (5)
    0x81, 0x01, //   Input (Constant)
    0x05, 0x01, //   Usage Page (Generic Desktop)
    0x09, 0x30, //   Usage (X)
    0x09, 0x31, //   Usage (Y)
    0x15, 0x81, //   Logical Minimum (-127)
    0x25, 0x7F, //   Logical Maximum (127)
    0x75, 0x08, //   Report Size (8)
    0x95, 0x02, //   Report Count (2)
    0x81, 0x06, //   Input (Data, Variable, Relative)
    0xC0,       // End Collection
    0x05, 0x01, // Usage Page (Generic Desktop)
    0x09, 0x07, // Usage (Keypad)
    0xA1, 0x01, // Collection (Application)
    0x85, 0x02, //   Report ID (2)
    0x05, 0x09, //   Usage Page (Button)
    0x19, 0x01, //   Usage Minimum (1)
    0x29, 0x02, //   Usage Maximum (2)
    0x75, 0x01, //   Report Size (1)
    0x95, 0x02, //   Report Count (2)
    0x81, 0x02, //   Input (Data, Variable, Absolute)
    0x95, 0x06, //   Report Count (6)
    0x81, 0x01, //   Input (Constant)
    0xC0,       // End Collection
};

} // namespace obx::test
