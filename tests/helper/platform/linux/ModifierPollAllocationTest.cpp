// The worker polls the modifiers every 300 ms: after the first poll a poll must not allocate (the
// modifier keycodes are resolved once), and a change of the keyboard map must still be followed.
// Its own program: it replaces the global allocation functions.

// clang-format off: GoogleTest must come before Xlib's macros (None, Bool).
#include <gtest/gtest.h>
// clang-format on

#include "XvfbServer.h"
#include "devices/DesktopQueries.h"
#include "platform/linux/x11/X11DesktopQueries.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace obx::x11::test {
namespace {

// A keycode that carries no keysym, to be given one.
KeyCode spareKeycode(Display* display) {
    int first = 0;
    int last = 0;
    XDisplayKeycodes(display, &first, &last);
    int perKeycode = 0;
    KeySym* symbols =
        XGetKeyboardMapping(display, static_cast<KeyCode>(first), last - first + 1, &perKeycode);
    KeyCode spare = 0;
    for (int code = last; code >= first && spare == 0; --code) {
        bool empty = true;
        for (int i = 0; i < perKeycode; ++i)
            empty = empty && symbols[(code - first) * perKeycode + i] == NoSymbol;
        if (empty)
            spare = static_cast<KeyCode>(code);
    }
    XFree(symbols);
    return spare;
}

TEST(ModifierPoll, AllocatesNothingAndFollowsAKeyboardMapChange) {
    XvfbServer server;
    ASSERT_FALSE(server.displayName().empty()) << server.failure();
    X11DesktopQueries queries(server.displayName());
    Display* display = XOpenDisplay(server.displayName().c_str());
    ASSERT_NE(display, nullptr);

    EXPECT_EQ(queries.pressedModifiers(), 0u);
    const long before = allocations;
    for (int i = 0; i < 50; ++i)
        queries.pressedModifiers();
    EXPECT_EQ(allocations - before, 0) << "a poll allocates";

    const KeyCode code = spareKeycode(display);
    ASSERT_NE(code, 0);
    KeySym control = XK_Control_R;
    XChangeKeyboardMapping(display, code, 1, &control, 1);
    XTestFakeKeyEvent(display, code, True, 0);
    XSync(display, False);
    EXPECT_EQ(queries.pressedModifiers(), desktopModifierCtrl) << "the new Control key is seen";
    XTestFakeKeyEvent(display, code, False, 0);
    XSync(display, False);
    EXPECT_EQ(queries.pressedModifiers(), 0u);
    XCloseDisplay(display);
}

} // namespace
} // namespace obx::x11::test
