// The worker polls the modifiers every 300 ms: after the first poll a poll must not allocate (the
// modifier keycodes are resolved once), and a change of the keyboard map must still be followed.
// Its own program: it replaces the global allocation functions.

// clang-format off: GoogleTest must come before Xlib's macros (None, Bool).
#include <gtest/gtest.h>
// clang-format on

#include "XvfbServer.h"
#include "devices/DesktopQueries.h"
#include "platform/linux/x11/X11DesktopQueries.h"
#include "support/AllocationCounter.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

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
    const long before = obx::test::allocations;
    for (int i = 0; i < 50; ++i)
        queries.pressedModifiers();
    EXPECT_EQ(obx::test::allocations - before, 0) << "a poll allocates";

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
