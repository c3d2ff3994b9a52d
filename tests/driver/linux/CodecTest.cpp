// The pure pieces of the daemon: the control socket's messages, the packet text and the string
// conversion.

#include "Utf16.h"
#include "virtual/PacketText.h"
#include "wire/ControlWire.h"
#include "wire/PointingDeviceList.h"

#include <array>
#include <gtest/gtest.h>
#include <vector>

namespace obx::kernd {
namespace {

using namespace obx::wire;

TEST(ControlWire, RequestHeaderRoundTripsLittleEndian) {
    std::array<uint8_t, kRequestHeaderSize + 3> message{};
    encodeRequestHeader({0x01020304, kKindDeviceControl, 0x0022200C, 3, 0x100},
                        std::span(message).first<kRequestHeaderSize>());
    EXPECT_EQ(message[0], 0x04);
    EXPECT_EQ(message[3], 0x01);
    EXPECT_EQ(message[4], 1);
    EXPECT_EQ(message[8], 0x0C);
    EXPECT_EQ(message[10], 0x22);
    const auto decoded = decodeRequestHeader(message, message.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->id, 0x01020304u);
    EXPECT_EQ(decoded->kind, kKindDeviceControl);
    EXPECT_EQ(decoded->code, 0x0022200Cu);
    EXPECT_EQ(decoded->inputLength, 3u);
    EXPECT_EQ(decoded->outputLength, 0x100u);
}

TEST(ControlWire, MalformedRequestsAreRecognised) {
    std::array<uint8_t, kRequestHeaderSize + 4> message{};
    encodeRequestHeader({1, kKindRead, 0, 4, 42}, std::span(message).first<kRequestHeaderSize>());
    EXPECT_TRUE(decodeRequestHeader(message, message.size()));
    EXPECT_FALSE(decodeRequestHeader(message, message.size() - 1)); // input shorter than claimed
    EXPECT_FALSE(decodeRequestHeader(message, message.size() + 1)); // longer
    EXPECT_FALSE(decodeRequestHeader(message, kRequestHeaderSize - 1));
    EXPECT_FALSE(decodeRequestHeader(std::span(message).first(10), 10));
}

TEST(ControlWire, CompletionCarriesExactlyItsByteCount) {
    std::vector<uint8_t> message(kCompletionHeaderSize + 2);
    encodeCompletionHeader({7, 0xC0000023, 2}, std::span(message).first<kCompletionHeaderSize>());
    const auto c = decodeCompletionHeader(message);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->id, 7u);
    EXPECT_EQ(c->status, 0xC0000023u);
    EXPECT_EQ(c->information, 2u);
    message.pop_back();
    EXPECT_FALSE(decodeCompletionHeader(message));
    EXPECT_FALSE(decodeCompletionHeader(std::span(message).first(11)));
}

TEST(PacketText, FlagsInFourHexDigitsAndSignedFields) {
    driver::MouseInputData packet;
    packet.buttonFlags = 0x0A00 | 0x0001;
    packet.buttonData = -360;
    packet.lastX = -128;
    packet.lastY = 2147483647;
    PacketTextBuffer buffer;
    EXPECT_EQ(formatPacket(packet, buffer), "buttonFlags=0x0a01 buttonData=-360 lastX=-128 lastY=2147483647");
    EXPECT_EQ(formatPacket(driver::MouseInputData{}, buffer),
              "buttonFlags=0x0000 buttonData=0 lastX=0 lastY=0");
    packet.lastX = packet.lastY = INT32_MIN;
    packet.buttonFlags = 0xFFFF;
    packet.buttonData = INT16_MIN;
    EXPECT_EQ(formatPacket(packet, buffer),
              "buttonFlags=0xffff buttonData=-32768 lastX=-2147483648 lastY=-2147483648");
}

TEST(Utf16, ConvertsEveryPlaneAndReplacesMalformedSequences) {
    EXPECT_EQ(utf16FromUtf8("Ball 1"), u"Ball 1");
    EXPECT_EQ(utf16FromUtf8("\xC3\xA9\xE2\x82\xAC"), u"\u00E9\u20AC");
    EXPECT_EQ(utf16FromUtf8("\xF0\x9F\x96\xB1"), u"\U0001F5B1");
    EXPECT_EQ(utf16FromUtf8("a\xFF"
                            "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf16FromUtf8("\xC3"), u"\uFFFD");         // cut short
    EXPECT_EQ(utf16FromUtf8("\xC0\xAF"), u"\uFFFD");     // overlong
    EXPECT_EQ(utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD"); // a surrogate
    EXPECT_EQ(utf16FromUtf8("\xE2\x82"
                            "x"),
              u"\uFFFDx"); // cut by a plain character
}

TEST(PointingDeviceList, ReadsDeviceLinesAndSetsAsideWhatIsNotOne) {
    const std::string list = "pointing-devices 5\n"
                             "fff0:0001\t0003\t8\t1\t1\t\tA1B2\tBall\tname\n" // a tab in the name: no device
                             "fff0:0002\t0005\t5\t1\t0\t\t\tTrackball Two\n"
                             "fff0:0003\t0003\t3\t0\t0\tno X and Y axes\t\n" // no name
                             "fff0:00zz\t0003\t3\t0\t0\t\t\tx\n"
                             "fff0:0004\t0003\tmany\t0\t0\t\t\tx\n";
    std::vector<std::string> bad;
    const auto devices =
        readPointingDeviceList(list, [&](std::string_view line) { bad.emplace_back(line.substr(0, 9)); });
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].vendor, 0xfff0);
    EXPECT_EQ(devices[0].product, 2);
    EXPECT_EQ(devices[0].bus, "0005");
    EXPECT_EQ(devices[0].buttons, 5);
    EXPECT_TRUE(devices[0].wheel);
    EXPECT_FALSE(devices[0].pan);
    EXPECT_EQ(devices[0].name, "Trackball Two");
    EXPECT_EQ(devices[1].unservable, "no X and Y axes");
    EXPECT_EQ(devices[1].name, "");
    EXPECT_EQ(bad, (std::vector<std::string>{"fff0:0001", "fff0:00zz", "fff0:0004"}));
}

TEST(PointingDeviceList, TellsAnAnswerFromTheListsBeforeIt) {
    EXPECT_EQ(pointingDeviceAnswer("ok"), PointingDeviceAnswer::Done);
    EXPECT_EQ(pointingDeviceAnswer("error: no such device"), PointingDeviceAnswer::Refused);
    EXPECT_EQ(refusalReason("error: no such device"), "no such device");
    EXPECT_EQ(pointingDeviceAnswer("pointing-devices 0\n"), PointingDeviceAnswer::List);
    EXPECT_EQ(pointingDeviceAnswer("pointing-devicesX"), PointingDeviceAnswer::Unexpected);
    EXPECT_EQ(pointingDeviceAnswer("okay"), PointingDeviceAnswer::Unexpected);
}

} // namespace
} // namespace obx::kernd
