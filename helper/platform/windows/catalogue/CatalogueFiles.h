#pragma once

// The files that shortcuts and windows name, as far as the catalogue touches
// them: only paths of this machine's own drives are ever opened. A path on
// the network (\\server\share\..., \\?\UNC\..., a device path \\.\..., a
// mapped network drive) would make the system connect to that server, hand it
// the user's credentials (NTLM) and parse a file of the server's choosing;
// a relative or drive-relative path depends on the helper's current folder,
// which may be a share itself. So only a fully qualified drive-letter path of
// a drive that is not remote counts as local.

#include <string>
#include <string_view>

namespace obx::windows {

// What the catalogue asks of the file system; a test gives one that records
// every drive asked about and every file opened.
class CatalogueFiles {
public:
    virtual ~CatalogueFiles() = default;
    // GetDriveTypeW of the drive's root.
    virtual unsigned driveType(wchar_t letter) const;
    // The icon as a PNG image in Base64 text (programIconBase64): the only
    // way the catalogue opens a file that a shortcut or a window names.
    virtual std::string iconBase64(const std::wstring& file, int index) const;

    // The system's own.
    static const CatalogueFiles& system();
};

// Whether `path` is a fully qualified path on a drive of this machine that is
// not a network drive (the text decides, then the drive's type).
bool isLocalPath(std::wstring_view path, const CatalogueFiles& files);

// The text with the environment's variables (%SystemRoot%...) put in, as a
// shortcut's icon location may hold them; the text itself when they cannot be.
std::wstring withEnvironment(const std::wstring& text);

} // namespace obx::windows
