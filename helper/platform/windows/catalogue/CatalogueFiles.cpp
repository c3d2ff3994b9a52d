#include "platform/windows/catalogue/CatalogueFiles.h"

#include "platform/windows/catalogue/ProgramIcon.h"

#include <vector>
#include <windows.h>

namespace obx::windows {

namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

} // namespace

unsigned CatalogueFiles::driveType(wchar_t letter) const {
    const wchar_t root[] = {letter, L':', L'\\', L'\0'};
    return ::GetDriveTypeW(root);
}

std::string CatalogueFiles::iconBase64(const std::wstring& file, int index) const {
    return programIconBase64(file, index);
}

const CatalogueFiles& CatalogueFiles::system() {
    static const CatalogueFiles files;
    return files;
}

bool isLocalPath(std::wstring_view path, const CatalogueFiles& files) {
    // "X:\": every other form (\\..., \..., X:name, name) is refused before
    // the system is asked anything. A remote drive is a mapped share; one
    // that does not exist (DRIVE_NO_ROOT_DIR) could be mapped by the time the
    // path is opened.
    if (path.size() < 3 || !isSeparator(path[2]) || path[1] != L':') {
        return false;
    }
    const wchar_t letter = path[0];
    if (!((letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z'))) {
        return false;
    }
    const unsigned type = files.driveType(letter);
    return type != DRIVE_REMOTE && type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN;
}

std::wstring withEnvironment(const std::wstring& text) {
    if (text.find(L'%') == std::wstring::npos) {
        return text;
    }
    std::vector<wchar_t> expanded(32768);
    const DWORD length =
        ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    return length == 0 || length > expanded.size() ? text : std::wstring(expanded.data());
}

} // namespace obx::windows
