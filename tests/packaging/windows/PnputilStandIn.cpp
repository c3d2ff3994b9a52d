// Stands in for the system's pnputil.exe under Wine, which has no driver store: appends its
// command line to "pnputil-calls.txt" beside itself, one line per call, and answers an added
// driver package with a published name as pnputil does; or, while "pnputil-answer.txt" lies beside
// it, an added package with that file's answer: its first line the exit code, the rest the output.
#include <cstdio>
#include <cwchar>
#include <string>
#include <windows.h>

int main() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return 2;
    const std::wstring folder = std::wstring(path, length).substr(0, std::wstring(path, length).find_last_of(L'\\') + 1);
    const std::wstring log = folder + L"pnputil-calls.txt";
    FILE* file = _wfopen(log.c_str(), L"ab");
    if (file == nullptr)
        return 2;
    std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    std::fputs(utf8.c_str(), file);
    std::fclose(file);
    if (std::wcsstr(GetCommandLineW(), L"/add-driver") == nullptr)
        return 0;
    if (FILE* answer = _wfopen((folder + L"pnputil-answer.txt").c_str(), L"rb")) {
        int code = 0;
        char text[512] = {};
        const bool read = std::fscanf(answer, "%d\n", &code) == 1;
        const size_t length = std::fread(text, 1, sizeof text - 1, answer);
        std::fclose(answer);
        std::fwrite(text, 1, length, stdout);
        return read ? code : 2;
    }
    std::puts("Published Name:     oem7.inf");
    return 0;
}
