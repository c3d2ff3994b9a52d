#include "platform/linux/wayland/HandedKeymap.h"

#include "base/Log.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client-protocol.h>

namespace obx::wayland {

std::string readHandedKeymap(std::uint32_t format, std::int32_t fd, std::uint32_t size,
                             std::string_view reader) {
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0 || size > maxKeymapSize) {
        close(fd);
        log(LogLevel::warning, reader, " - the compositor handed over a keymap the helper cannot read");
        return {};
    }
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED) {
        log(LogLevel::warning, reader, " - cannot map the keymap the compositor handed over");
        return {};
    }
    const auto* characters = static_cast<const char*>(text);
    std::string source(characters, strnlen(characters, size));
    munmap(text, size);
    return source;
}

} // namespace obx::wayland
