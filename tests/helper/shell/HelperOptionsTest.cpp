#include "shell/HelperOptions.h"

#include <boost/program_options/errors.hpp>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace obx {
namespace {

HelperOptions parse(std::vector<const char*> args) {
    args.insert(args.begin(), "obxhelper");
    return parseHelperOptions(static_cast<int>(args.size()), args.data());
}

TEST(HelperOptionsTest, DefaultsWithoutArguments) {
    const auto options = parse({});
    EXPECT_EQ(options.logLevel, 2);
    EXPECT_FALSE(options.quit);
    EXPECT_FALSE(options.dbgOutput);
    EXPECT_FALSE(options.launchGui);
    EXPECT_FALSE(options.parseFavApps);
}

TEST(HelperOptionsTest, VerboseWinsOverAGivenLevel) {
    EXPECT_EQ(parse({"--verbose", "--logLevel", "4"}).logLevel, 0);
    EXPECT_EQ(parse({"--logLevel=4", "--verbose"}).logLevel, 0);
}

TEST(HelperOptionsTest, LevelIsClamped) {
    EXPECT_EQ(parse({"--logLevel", "9"}).logLevel, 5);
    EXPECT_EQ(parse({"--logLevel=-3"}).logLevel, 0);
    EXPECT_EQ(parse({"--logLevel", "3"}).logLevel, 3);
}

TEST(HelperOptionsTest, FlagsSetTheirFields) {
    const auto options = parse({"--quit", "--dbgOutput", "--launchGui", "--parseFavApps"});
    EXPECT_TRUE(options.quit);
    EXPECT_TRUE(options.dbgOutput);
    EXPECT_TRUE(options.launchGui);
    EXPECT_TRUE(options.parseFavApps);
    EXPECT_EQ(options.logLevel, 2);
}

TEST(HelperOptionsTest, MalformedCommandLinesAreErrors) {
    EXPECT_THROW(parse({"--logLevel", "high"}), boost::program_options::error);
    EXPECT_THROW(parse({"--logLevel"}), boost::program_options::error);
    EXPECT_THROW(parse({"--help"}), boost::program_options::error);
    EXPECT_THROW(parse({"-q"}), boost::program_options::error);
}

TEST(HelperOptionsTest, DescriptionListsTheSixOptionsInOrder) {
    std::ostringstream text;
    text << helperOptionsDescription();
    const std::string expected =
        "Options:\n"
        "  --logLevel arg        Log level (0-5, 0: maximum logging, 5: minimum logging)\n"
        "  --quit                Terminate running helper\n"
        "  --dbgOutput           Output log messages to OS console\n"
        "  --verbose             Enable maximum logging\n"
        "  --launchGui           Launch GUI\n"
        "  --parseFavApps        Parse Favorite Apps\n";
    EXPECT_EQ(text.str(), expected);
}

} // namespace
} // namespace obx
