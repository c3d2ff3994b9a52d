#pragma once

// The service's log on Windows: the debugger output, and obxsvc.log. An
// account's temporary folder is its own, except LocalSystem's
// (%SystemRoot%\Temp), where any user may create the file first and then
// read what the service writes. Run as LocalSystem, the log goes to
// %ProgramData%\Ombrix\Logs instead: each of the two folders is created with a
// descriptor that lets only SYSTEM and the Administrators in (kLogFolderAccess),
// before the first line is written, and one that exists already is used only
// when SYSTEM or the Administrators own it (only they could have made it so).

#include "service/ServiceLog.h"

#include <string>

namespace obx::win {

// Full access for SYSTEM and the Administrators, inherited by what is made
// inside; nothing inherited from %ProgramData%, which lets users create.
inline constexpr const wchar_t* kLogFolderAccess = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// What the log asks of the system about its folder: a seam, so that a test
// sees the folders made and the descriptor each was made with (Wine keeps no
// access control).
class LogFolders {
public:
    virtual ~LogFolders() = default;
    virtual bool runsAsLocalSystem() const;
    // Empty when the system names none.
    virtual std::wstring programData() const;
    virtual std::wstring temporary() const;
    // CreateDirectoryW with the descriptor that `sddl` describes: true when it
    // made the folder; false with `exists` when there was one already.
    virtual bool createFolder(const std::wstring& path, const wchar_t* sddl, bool& exists) const;
    virtual bool ownedBySystemOrAdministrators(const std::wstring& path) const;

    static const LogFolders& system();
};

// The log file for the account that runs the program, its protected folders
// made first where it needs them; empty when there is none.
std::wstring serviceLogPath(const LogFolders& folders);

class WinServiceLogFile : public ServiceLogSink {
public:
    explicit WinServiceLogFile(const LogFolders& folders = LogFolders::system()) : folders_(folders) {}

    void write(std::string_view text) override;

    // serviceLogPath of the system's folders.
    static std::wstring defaultPath();

private:
    const LogFolders& folders_;
    // Worked out at the first message and kept.
    std::wstring path_;
    bool pathKnown_ = false;
};

} // namespace obx::win
