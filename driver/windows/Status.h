#pragma once

#include "KernelHeaders.h"
#include "driver/core/Framework.h"

namespace obx::windows {

// The core's statuses are NTSTATUS values kept as unsigned numbers.
constexpr NTSTATUS toNtStatus(driver::ObxStatus status) {
    return static_cast<NTSTATUS>(status);
}

constexpr driver::ObxStatus toObxStatus(NTSTATUS status) {
    return static_cast<driver::ObxStatus>(status);
}

} // namespace obx::windows
