// Stands in for WinRAR, HaoZip and 7-Zip in the Windows tests. Records the command line it
// received and how it was started into "record.txt" next to itself, then behaves like an
// archiver that unpacks one update file: after a pause (so a caller that does not wait would
// miss the result) it writes sub\DB2024.QDX and a read-only readme into the destination.
// An archive path holding "hang" makes it wait for a minute instead, like a hidden prompt.

#include <windows.h>
// after windows.h, whose types it uses
#include <shellapi.h>

#include <string>

namespace {

std::wstring OwnFolder() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.resize(path.find_last_of(L'\\') + 1);
    return path;
}

void WriteText(const std::wstring& path, const std::wstring& text) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
                nullptr);
    ::CloseHandle(file);
}

// The destination: the text after "-o" (7-Zip, HaoZip), else the last argument (WinRAR).
std::wstring Destination(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(commandLine, &count);
    std::wstring destination;
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        if (argument.rfind(L"-o", 0) == 0 && argument != L"-o+") {
            destination = argument.substr(2);
        }
    }
    if (destination.empty() && count > 1) destination = arguments[count - 1];
    ::LocalFree(arguments);
    return destination;
}

}  // namespace

int main() {
    const wchar_t* commandLine = ::GetCommandLineW();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    ::GetStartupInfoW(&startup);
    WriteText(OwnFolder() + L"record.txt", std::wstring(commandLine) + L"\n" +
                                               std::to_wstring(startup.dwFlags) + L" " +
                                               std::to_wstring(startup.wShowWindow) + L" " +
                                               std::to_wstring(::GetCurrentProcessId()) + L"\n");
    if (std::wstring(commandLine).find(L"hang") != std::wstring::npos) {
        ::Sleep(60000);
        return 0;
    }
    ::Sleep(300);
    const std::wstring destination = Destination(commandLine);
    ::CreateDirectoryW(destination.c_str(), nullptr);
    ::CreateDirectoryW((destination + L"\\sub").c_str(), nullptr);
    WriteText(destination + L"\\sub\\DB2024.QDX", L"update");
    const std::wstring readme = destination + L"\\readme.txt";
    WriteText(readme, L"read me");
    ::SetFileAttributesW(readme.c_str(), FILE_ATTRIBUTE_READONLY);
    return 7;
}
