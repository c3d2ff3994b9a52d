#include "platform/ProgramPath.h"

#include <string>
#include <windows.h>

namespace obx {

std::filesystem::path runningExecutablePath() {
    // Grows the buffer until the whole path fits, so a program deep in a
    // long-path folder still finds itself.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= 32768) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace obx
