#include "Options.h"

#include <gtest/gtest.h>
#include <string_view>
#include <vector>

namespace obx::kernd {
namespace {

ParsedOptions parse(std::vector<std::string_view> args, const char* env = nullptr) {
    return parseOptions(args, env);
}

TEST(Options, RuntimeFolderComesFromTheOptionThenTheEnvironmentThenTheDefault) {
    EXPECT_EQ(parse({}).options->runtimeDir, "/run/obxkern");
    EXPECT_EQ(parse({}, "").options->runtimeDir, "/run/obxkern");
    EXPECT_EQ(parse({}, "/tmp/env").options->runtimeDir, "/tmp/env");
    EXPECT_EQ(parse({"--runtime-dir", "/tmp/opt"}, "/tmp/env").options->runtimeDir, "/tmp/opt");
    EXPECT_EQ(parse({"--runtime-dir=/tmp/eq"}).options->runtimeDir, "/tmp/eq");
}

TEST(Options, TrackballOptionsApplyToTheVirtualTheyFollow) {
    const ParsedOptions parsed = parse({"--virtual", "--product-id", "0x0F00", "--serial", "A", "--virtual",
                                        "--version=258", "--product", "Second", "--descriptor", "d.bin"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const auto& v = parsed.options->virtuals;
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].productId, 0x0F00);
    EXPECT_EQ(v[0].version, 0x0100);
    EXPECT_EQ(v[0].serial, "A");
    EXPECT_EQ(v[0].product, "Virtual Trackball");
    EXPECT_FALSE(v[0].descriptor);
    EXPECT_EQ(v[1].productId, 0x0001);
    EXPECT_EQ(v[1].version, 258);
    EXPECT_EQ(v[1].product, "Second");
    EXPECT_FALSE(v[1].serial);
    EXPECT_EQ(v[1].descriptor, "d.bin");
}

TEST(Options, RejectsWhatItCannotUse) {
    EXPECT_EQ(parse({"--product-id", "1"}).error, "--product-id must follow --virtual");
    EXPECT_EQ(parse({"--bogus"}).error, "unknown option --bogus");
    EXPECT_EQ(parse({"--virtual", "--serial"}).error, "--serial needs a value");
    EXPECT_FALSE(parse({"--virtual", "--product-id", "0x10000"}).options);
    EXPECT_FALSE(parse({"--virtual", "--version", "-1"}).options);
    EXPECT_FALSE(parse({"--virtual=yes"}).options);
    EXPECT_EQ(parse({"--virtual-plug=yes"}).error, "--virtual-plug takes no value");
    EXPECT_FALSE(parse({"--log-level", "loud"}).options);
    EXPECT_FALSE(parse({"--runtime-dir", ""}).options);
}

TEST(Options, RealTrackballsUnlessOnlyVirtualOnesAreAskedFor) {
    const ParsedOptions plain = parse({});
    EXPECT_TRUE(plain.options->servesHardware());
    EXPECT_EQ(plain.options->devicesFile, "/etc/obxkern/devices.conf");
    EXPECT_EQ(plain.options->stateDir, "/var/lib/obxkern");
    EXPECT_EQ(parse({"--state-dir", "/tmp/s"}).options->stateDir, "/tmp/s");
    EXPECT_TRUE(plain.options->hardwareRoot.empty()) << "the system's own devices unless a test says";
    EXPECT_EQ(parse({"--hardware-root=/tmp/h"}).options->hardwareRoot, "/tmp/h");
    for (const char* folder : {"--runtime-dir", "--state-dir", "--hardware-root"})
        EXPECT_EQ(parse({std::string(folder) + "="}).error, std::string(folder) + " needs a folder");
    EXPECT_EQ(parse({"--devices-conf="}).error, "--devices-conf needs a file");
    EXPECT_FALSE(parse({"--virtual"}).options->servesHardware());
    EXPECT_FALSE(parse({"--virtual-plug"}).options->servesHardware()) << "plugged ones are virtual too";
    EXPECT_TRUE(parse({"--virtual-plug"}).options->virtualPlug);
    EXPECT_FALSE(parse({"--virtual"}).options->virtualPlug);
    const ParsedOptions named = parse(
        {"--virtual", "--device", "/dev/hidraw3", "--device=/dev/hidraw4", "--devices-conf", "/tmp/d.conf"});
    ASSERT_TRUE(named.options) << named.error;
    EXPECT_TRUE(named.options->servesHardware());
    EXPECT_EQ(named.options->devices, (std::vector<std::string>{"/dev/hidraw3", "/dev/hidraw4"}));
    EXPECT_EQ(named.options->devicesFile, "/tmp/d.conf");
    EXPECT_EQ(parse({"--device", "hidraw3"}).error,
              "--device needs the absolute path of a hidraw node, not hidraw3");
}

TEST(Options, HelpAndLogLevel) {
    EXPECT_TRUE(parse({"--help"}).options->help);
    EXPECT_EQ(parse({"--log-level", "debug"}).options->logLevel, LogLevel::debug);
    EXPECT_EQ(parse({}).options->logLevel, LogLevel::info);
}

TEST(Options, NumbersAreDecimalOrHexadecimal) {
    uint32_t v = 0;
    EXPECT_TRUE(parseNumber("42", 0xFFFF, v));
    EXPECT_EQ(v, 42u);
    EXPECT_TRUE(parseNumber("0xfFfF", 0xFFFF, v));
    EXPECT_EQ(v, 0xFFFFu);
    EXPECT_TRUE(parseNumber("0X10", 0xFFFF, v));
    EXPECT_EQ(v, 16u);
    for (const char* bad : {"", "0x", "12a", "0x1g", "+1", " 1", "65536", "99999999999999999999"})
        EXPECT_FALSE(parseNumber(bad, 0xFFFF, v)) << bad;
}

} // namespace
} // namespace obx::kernd
