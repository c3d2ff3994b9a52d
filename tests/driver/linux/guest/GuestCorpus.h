#pragma once

#include <cstdint>
#include <string>

namespace obx::guest {

// The corpus comparison: every descriptor of the corpus folder (tests/driver/data/corpus, one device a
// file) is plugged in twice through UHID, on the bus that the file names ("bus", hexadecimal as in the
// kernel's HID_ID; USB when none), with the same scripted reports: once with ids that obxkernd
// does not serve, read on the kernel's own evdev nodes (hid-generic), once with `servedProduct`, which
// the guest's devices.conf lists, read on the daemon's uinput mouse. Buttons 1 to 5 must change the same
// way in the same order, and motion, wheels and high-resolution wheels must add up the same, except
// where the file lists a difference that the driver's design intends ("differs"). A file marked
// "refused" must get no control socket of the daemon's in `runtime`.
void runCorpus(const std::string& folder, const std::string& runtime, uint16_t vendor, uint16_t servedProduct,
               uint16_t ownProduct);

} // namespace obx::guest
