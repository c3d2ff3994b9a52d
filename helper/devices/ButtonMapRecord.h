#pragma once

// The driver's button map for a configuration: the buttons whose action the
// driver can perform itself, so that they never reach the helper.

#include "driver/shared/ObxControl.h"

#include <array>
#include <cstdint>

namespace obx {

class DeviceConfig;

using ButtonMapBytes = std::array<std::uint8_t, sizeof(OBX_BUTTON_MAP)>;

// Plain single clicks map to output buttons, scroll steps to driver actions,
// in ascending mask order; entries past the record's room are left out.
// Written field by field at the wire offsets.
void buildButtonMap(const DeviceConfig& config, ButtonMapBytes& record);

// The map while the helper learns which button is which: every button goes
// to the helper (no entry for it, and a chord mask of 0, so no press is held
// back for a chord); only the pan keeps its scroll steps.
void buildLearningButtonMap(const DeviceConfig& config, ButtonMapBytes& record);

} // namespace obx
