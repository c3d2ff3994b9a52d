#include "service/ServiceOptions.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

struct ModeCase {
    std::vector<std::string> arguments;
    ServiceMode mode;
};

class ServiceOptionsTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ServiceOptionsTest, ChoosesTheMode) {
    EXPECT_EQ(parseServiceMode(GetParam().arguments), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ServiceOptionsTest,
    ::testing::Values(
        ModeCase{{}, ServiceMode::service}, ModeCase{{"/GOTOWEB"}, ServiceMode::goToWeb},
        ModeCase{{"-gotoweb"}, ServiceMode::goToWeb}, ModeCase{{"-ShowPopup"}, ServiceMode::showPopup},
        ModeCase{{"/debug"}, ServiceMode::console}, ModeCase{{"-DEBUG", "extra"}, ServiceMode::console},
        // The first of gotoweb and showpopup decides, whatever comes before.
        ModeCase{{"-debug", "-showpopup", "-gotoweb"}, ServiceMode::showPopup},
        ModeCase{{"x", "/gotoweb", "-showpopup"}, ServiceMode::goToWeb},
        // Not options: no leading sign, two signs, or only a prefix of a name.
        ModeCase{{"gotoweb", "debug"}, ServiceMode::service}, ModeCase{{"--gotoweb"}, ServiceMode::service},
        ModeCase{{"-gotowebsite", "-"}, ServiceMode::service},
        ModeCase{{"/goto web"}, ServiceMode::service}));

} // namespace
} // namespace obx
