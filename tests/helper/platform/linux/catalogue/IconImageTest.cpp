#include "platform/linux/catalogue/IconImage.h"

#include "catalogue/Base64.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace obx::linuxos {
namespace {

// The Base64 text of a PNG begins with the signature's encoding.
constexpr std::string_view pngBase64Start = "iVBORw0KGgo";

TEST(IconImage, SvgIsDrawnByTheRendererLoadedAtFirstUseAndOtherFilesAreRefused) {
    test::TempFolder folder;
    const auto svg = folder / "icon.svg";
    test::writeFile(svg, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
                         "<rect width=\"16\" height=\"16\" fill=\"#c03\"/></svg>");
    const auto png = iconImageBase64(svg, 32);
    EXPECT_TRUE(png.starts_with(pngBase64Start)) << png.substr(0, 40);
    EXPECT_EQ(iconImageBase64(svg, 32), png) << "the renderer, once loaded, draws alike";

    const std::pair<const char*, const char*> refused[] = {
        {"broken.svg", "<svg"}, {"fake.png", "not a png"}, {"icon.xpm", "/* XPM */"}};
    for (const auto& [name, content] : refused) {
        test::writeFile(folder / name, content);
        EXPECT_EQ(iconImageBase64(folder / name, 32), "") << name;
    }
}

} // namespace
} // namespace obx::linuxos
