// The driver object: the framework's driver, whose only callback adds a filter device for each
// trackball that the system starts.

#include "FilterDeviceHost.h"
#include "KernelHeaders.h"
#include "Pool.h"

extern "C" DRIVER_INITIALIZE DriverEntry;

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, obx::windows::addFilterDevice);
    config.DriverPoolTag = obx::windows::kPoolTag;
    return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}
