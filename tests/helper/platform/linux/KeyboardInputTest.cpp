#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "X11Fixture.h"
#include "base/LogCapture.h"
#include "platform/linux/x11/KeymapLender.h"
#include "platform/linux/x11/TypingBurst.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <algorithm>
#include <stdexcept>

namespace obx::x11::test {
namespace {

using KeyInputTest = X11Test;

std::vector<unsigned long> rawKeys(const std::vector<ProbeEvent>& events) {
    std::vector<unsigned long> keys;
    for (const auto& event : events) {
        keys.push_back(event.rawKeysym);
    }
    return keys;
}

std::vector<int> types(const std::vector<ProbeEvent>& events) {
    std::vector<int> result;
    for (const auto& event : events) {
        result.push_back(event.type);
    }
    return result;
}

std::vector<KeySym> keyboardMapping(const std::string& displayName) {
    Display* display = XOpenDisplay(displayName.c_str());
    int minCode = 0, maxCode = 0, perCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    KeySym* symbols =
        XGetKeyboardMapping(display, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
    std::vector<KeySym> mapping(symbols, symbols + (maxCode - minCode + 1) * perCode);
    XFree(symbols);
    XCloseDisplay(display);
    return mapping;
}

// Consecutive CJK ideographs, none of them on the keyboard map.
std::string ideographs(char32_t first, int count) {
    std::string text;
    for (char32_t c = first; c < first + static_cast<char32_t>(count); ++c) {
        // Every CJK ideograph here is three bytes of UTF-8.
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    return text;
}

TEST_F(KeyInputTest, ModifiersGoDownBeforeTheKeyAndComeUpAfterIt) {
    services->sendKeystroke(0x05, 'C', true, false);
    services->sendKeystroke(0x05, 'C', false, false);
    const auto events = probe->waitForEvents(6);
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(rawKeys(events),
              (std::vector<unsigned long>{XK_Shift_L, XK_Control_L, XK_c, XK_c, XK_Shift_L, XK_Control_L}));
    EXPECT_EQ(types(events),
              (std::vector<int>{KeyPress, KeyPress, KeyPress, KeyRelease, KeyRelease, KeyRelease}));
    EXPECT_EQ(events[2].state & (ShiftMask | ControlMask), static_cast<unsigned>(ShiftMask | ControlMask));
    EXPECT_EQ(events[2].keysym, static_cast<unsigned long>(XK_C));
}

// As after a layout switch: another client moves 'c' to a spare keycode and
// empties its old one after the helper has sent it once.
TEST_F(KeyInputTest, AKeyMovedOnTheKeyboardMapIsSentAtItsNewKeycode) {
    services->sendKeystroke(0, 'C', true, false);
    services->sendKeystroke(0, 'C', false, false);
    ASSERT_EQ(probe->waitForEvents(2).size(), 2u);
    probe->clear();

    Display* other = XOpenDisplay(server.displayName().c_str());
    ASSERT_NE(other, nullptr);
    const KeyCode old = XKeysymToKeycode(other, XK_c);
    int minCode = 0, maxCode = 0, perCode = 0;
    XDisplayKeycodes(other, &minCode, &maxCode);
    KeySym* symbols =
        XGetKeyboardMapping(other, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
    KeyCode spare = 0;
    for (int code = maxCode; code >= minCode && spare == 0; --code) {
        const KeySym* row = symbols + (code - minCode) * perCode;
        if (std::all_of(row, row + perCode, [](KeySym symbol) { return symbol == NoSymbol; })) {
            spare = static_cast<KeyCode>(code);
        }
    }
    XFree(symbols);
    ASSERT_NE(spare, 0);
    KeySym moved = XK_c, emptied = NoSymbol;
    XChangeKeyboardMapping(other, spare, 1, &moved, 1);
    XChangeKeyboardMapping(other, old, 1, &emptied, 1);
    XSync(other, False);
    XCloseDisplay(other);

    services->sendKeystroke(0, 'C', true, false);
    services->sendKeystroke(0, 'C', false, false);
    const auto events = probe->waitForEvents(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(rawKeys(events), (std::vector<unsigned long>{XK_c, XK_c}));
}

TEST_F(KeyInputTest, EveryModifierInItsFixedOrder) {
    services->sendKeystroke(0x57, 'X', true, false);
    services->sendKeystroke(0x57, 'X', false, false);
    const auto events = probe->waitForEvents(12);
    EXPECT_EQ(rawKeys(events),
              (std::vector<unsigned long>{XK_Shift_L, XK_Control_L, XK_Alt_L, XK_Super_L, XK_Menu, XK_x, XK_x,
                                          XK_Shift_L, XK_Control_L, XK_Alt_L, XK_Super_L, XK_Menu}));
}

TEST_F(KeyInputTest, NamedKeysArriveAsTheirKeys) {
    const std::vector<std::pair<std::uint16_t, unsigned long>> keys = {
        {0x2E, XK_Delete},   {0x2D, XK_Insert},    {0x21, XK_Prior},         {0x0A, XK_KP_Enter},
        {0x0D, XK_Return},   {0x70, XK_F1},        {0x7B, XK_F12},           {0x6B, XK_KP_Add},
        {0x63, XK_KP_3},     {0xBA, XK_semicolon}, {0xAD, XF86XK_AudioMute}, {0xB3, XF86XK_AudioPlay},
        {0xA6, XF86XK_Back}, {0x1B, XK_Escape},    {0x5C, XK_Super_R}};
    Display* display = XOpenDisplay(server.displayName().c_str());
    ASSERT_NE(display, nullptr);
    for (const auto& [virtualKey, keysym] : keys) {
        probe->clear();
        services->sendKeystroke(0, virtualKey, true, false);
        services->sendKeystroke(0, virtualKey, false, false);
        const auto events = probe->waitForEvents(2);
        ASSERT_EQ(events.size(), 2u) << virtualKey;
        // The key itself: a keypad digit, for one, gives its digit only
        // under Num Lock.
        EXPECT_EQ(events[0].keycode, XKeysymToKeycode(display, keysym)) << virtualKey;
        EXPECT_NE(events[0].keycode, 0u) << virtualKey;
        EXPECT_EQ(types(events), (std::vector<int>{KeyPress, KeyRelease})) << virtualKey;
    }
    XCloseDisplay(display);
}

TEST_F(KeyInputTest, ModifiersOnlyAndEmptyCallsSendOnlyWhatTheyName) {
    services->sendKeystroke(0, 0, true, false);
    services->sendKeystroke(0x04, 'A', true, true);
    services->sendKeystroke(0x04, 'A', false, true);
    // A key that the keyboard map lacks is left out, and the call goes on.
    services->sendKeystroke(0x01, 0x3A, true, false);
    services->sendKeystroke(0x01, 0x3A, false, false);
    const auto events = probe->waitForEvents(4);
    EXPECT_EQ(rawKeys(events),
              (std::vector<unsigned long>{XK_Control_L, XK_Control_L, XK_Shift_L, XK_Shift_L}));
    EXPECT_EQ(types(events), (std::vector<int>{KeyPress, KeyRelease, KeyPress, KeyRelease}));
}

TEST_F(KeyInputTest, ScrollByKeysTapsTheArrowLinesTimes) {
    services->scrollByKeys(5, 2);
    services->scrollByKeys(1, 0);
    services->scrollByKeys(2, 2);
    services->scrollByKeys(3, 1);
    const auto events = probe->waitForEvents(6);
    EXPECT_EQ(rawKeys(events),
              (std::vector<unsigned long>{XK_Down, XK_Down, XK_Down, XK_Down, XK_Left, XK_Left}));
    EXPECT_EQ(types(events),
              (std::vector<int>{KeyPress, KeyRelease, KeyPress, KeyRelease, KeyPress, KeyRelease}));
}

TEST_F(KeyInputTest, MouseButtonsLeftRightMiddleOnly) {
    for (const std::uint32_t mask : {8u, 16u, 0u}) {
        services->sendMouseButton(mask, true);
        services->sendMouseButton(mask, false);
    }
    for (const std::uint32_t mask : {1u, 2u, 4u}) {
        services->sendMouseButton(mask, true);
        services->sendMouseButton(mask, false);
    }
    const auto events = probe->waitForEvents(6);
    ASSERT_EQ(events.size(), 6u);
    const unsigned expected[] = {Button1, Button3, Button2};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(events[2 * i].type, ButtonPress);
        EXPECT_EQ(events[2 * i].button, expected[i]);
        EXPECT_EQ(events[2 * i + 1].type, ButtonRelease);
        EXPECT_EQ(events[2 * i + 1].button, expected[i]);
    }
}

TEST_F(KeyInputTest, TextOfSeveralScriptsArrivesExactlyAndTheKeymapComesBackWhenIdle) {
    const auto before = keyboardMapping(server.displayName());
    const std::string text = "Hello, World! ~{}|\t123\nПривет — ελληνικά 中文 café €5 😀🎉👍\n\nend";
    LogCapture capture;
    services->typeText(text);
    EXPECT_TRUE(waitFor([&] { return probe->typedText() == text; })) << probe->typedText();
    EXPECT_NE(keyboardMapping(server.displayName()), before);
    EXPECT_TRUE(waitFor([&] { return keyboardMapping(server.displayName()) == before; }));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Snippet line: Hello, World! ~{}|\t123"));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Snippet line: end"));
    const auto texts = capture.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Snippet insert LF"), 3);
}

TEST_F(KeyInputTest, MoreMissingCharactersThanSpareKeysStillArriveInOrder) {
    const auto before = keyboardMapping(server.displayName());
    const std::string text = ideographs(0x4E00, 300) + "\n" + ideographs(0x4E00, 300);
    services->typeText(text);
    EXPECT_TRUE(waitFor([&] { return probe->typedText() == text; }));
    EXPECT_TRUE(waitFor([&] { return keyboardMapping(server.displayName()) == before; }));
}

// A lent keycode gets another character only once the client has answered a
// ping sent after its events, or, from a client that takes no pings, after
// the hold; shutting down waits out the hold before giving the keycodes back.
TEST_F(KeyInputTest, AClientThatReadsHalfASecondLateStillDecodesEveryCharacter) {
    const auto before = keyboardMapping(server.displayName());
    // More distinct characters than Xvfb has spare keycodes.
    const std::string text = ideographs(0x4E00, 16) + "x\n" + ideographs(0x4E08, 16);
    for (const bool answersPings : {true, false}) {
        ProbeWindow late(server.displayName(), {std::chrono::milliseconds(500), answersPings});
        services->typeText(text);
        services.reset();
        EXPECT_EQ(keyboardMapping(server.displayName()), before) << answersPings;
        EXPECT_TRUE(waitFor([&] { return late.typedText() == text; })) << answersPings << late.typedText();
        services = makeServices();
    }
}

TEST_F(KeyInputTest, KeycodesLentBeforeAFailureGoBackWhenIdle) {
    const auto before = keyboardMapping(server.displayName());
    KeymapLender lender(server.displayName(), std::chrono::milliseconds(3000));
    EXPECT_THROW(lender.use([](Display* display, LentKeys& keys) {
        TypingBurst burst(display, keys);
        burst.tap(0x0101F600);
        burst.send();
        throw std::runtime_error("typing failed");
    }),
                 std::runtime_error);
    EXPECT_NE(keyboardMapping(server.displayName()), before);
    EXPECT_TRUE(waitFor([&] { return keyboardMapping(server.displayName()) == before; }));
    EXPECT_TRUE(waitFor([&] { return probe->typedText() == "😀"; })) << probe->typedText();
}

TEST_F(KeyInputTest, LinesThatAreNoUtf8AreSkippedAndLogged) {
    LogCapture capture;
    services->typeText("ok\n\xC3\nyes");
    EXPECT_TRUE(waitFor([&] { return probe->typedText() == "ok\n\nyes"; })) << probe->typedText();
    EXPECT_TRUE(capture.contains(LogLevel::error, "Error converting snippet line to UTF16, rc: 84"));
}

TEST_F(KeyInputTest, OnlyLineFeeds) {
    services->typeText("\n\n");
    const auto events = probe->waitForEvents(4);
    EXPECT_EQ(rawKeys(events), (std::vector<unsigned long>{XK_Return, XK_Return, XK_Return, XK_Return}));
}

} // namespace
} // namespace obx::x11::test
