#pragma once

// Process image paths name a device ("\Device\HarddiskVolume3\..."); the
// catalogue lists programs by their drive-letter paths.

#include <functional>
#include <string>
#include <string_view>

namespace obx::windows {

// The device behind a drive letter ("\Device\HarddiskVolume3", or
// "\Device\LanmanRedirector\;Z:0000000000012a4f\server\share" for a mapped
// network drive); empty when the letter has none.
using DriveDevice = std::function<std::wstring(wchar_t letter)>;

// The drive-letter form of a path that begins with the device of a drive,
// trying the letters from A to Z; empty when no drive leads there.
std::wstring devicePathToDosPath(std::wstring_view devicePath, const DriveDevice& deviceOf);
// The same with the system's own drive table.
std::wstring devicePathToDosPath(std::wstring_view devicePath);

} // namespace obx::windows
