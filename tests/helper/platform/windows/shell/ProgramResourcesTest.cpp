#include "platform/windows/shell/AppResources.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

// The built obxhelper.exe, beside this test, read as resources only.

namespace obx {
namespace {

std::wstring helperProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"obxhelper.exe";
}

TEST(ProgramResourcesTest, TheHelperCarriesItsIconForTheShellAndTheNotificationArea) {
    HMODULE program = ::LoadLibraryExW(helperProgramPath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(program, nullptr) << "error " << ::GetLastError();
    EXPECT_NE(::FindResourceW(program, MAKEINTRESOURCEW(OBX_APP_ICON), RT_GROUP_ICON), nullptr);
    EXPECT_NE(::LoadIconW(program, MAKEINTRESOURCEW(OBX_APP_ICON)), nullptr);
    ::FreeLibrary(program);
}

} // namespace
} // namespace obx
