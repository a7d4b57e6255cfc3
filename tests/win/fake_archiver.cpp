// Stands in for WinRAR (and its Rar.exe), HaoZip and 7-Zip in the Windows tests. Records the
// command line it received and how it was started into "record.txt" next to itself, then
// behaves like an archiver that unpacks one update file: after a pause (so a caller that does
// not wait would miss the result) it writes sub\DB2024.QDX and a read-only readme into the
// destination. An archive path holding "hang" makes it wait for a minute instead, like a
// hidden prompt.
//
// Asked to list ("l -slt" as 7-Zip, "lt" as Rar.exe) it prints those entries in that
// archiver's technical listing. An archive file that begins with the line
// "KIVREL-FAKE-ARCHIVE" lists and unpacks the entries its lines name instead, one a line as
// KIND NAME: F a file, D a folder, L a Unix link, R a reparse point, H a hard link, S an
// alternate stream (links are listed, never made).

#include <windows.h>
// after windows.h, whose types it uses
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Entry {
    wchar_t kind;
    std::wstring name;
};

const std::vector<Entry> kDefaultEntries = {
    {L'D', L"sub"}, {L'F', L"sub\\DB2024.QDX"}, {L'F', L"readme.txt"}};

// The archive's own entries when it is a manifest; else the default ones.
std::vector<Entry> EntriesOf(const std::wstring& archive, bool* manifest = nullptr) {
    const HANDLE file = ::CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kDefaultEntries;
    std::string text(64 * 1024, '\0');
    DWORD read = 0;
    ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    ::CloseHandle(file);
    text.resize(read);
    const std::string marker = "KIVREL-FAKE-ARCHIVE";
    if (text.compare(0, marker.size(), marker) != 0) return kDefaultEntries;
    if (manifest != nullptr) *manifest = true;
    std::vector<Entry> entries;
    std::size_t at = text.find('\n');
    while (at != std::string::npos && at + 1 < text.size()) {
        const std::size_t end = text.find('\n', at + 1);
        std::string line =
            text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2) {
            entries.push_back(
                {static_cast<wchar_t>(line[0]), std::wstring(line.begin() + 2, line.end())});
        }
        at = end;
    }
    return entries;
}

// Standard output is in text mode: each LF goes out as CR LF, as the archivers write it.
void Print(const std::wstring& text) {
    const std::string bytes(text.begin(), text.end());  // the tests' names are ASCII
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void ListAsSevenZip(const std::wstring& archive, const std::vector<Entry>& entries) {
    Print(L"\n7-Zip (stand-in)\n\nListing archive: " + archive + L"\n\n--\nPath = " + archive +
          L"\nType = zip\n\n----------\n");
    for (const Entry& entry : entries) {
        std::wstring text = L"Path = " + entry.name + L"\nFolder = " +
                            (entry.kind == L'D' ? L"+" : L"-") + L"\nSize = 6\n";
        switch (entry.kind) {
            case L'D':
                text += L"Attributes = D\n";
                break;
            case L'L':
                text += L"Attributes = A lrwxrwxrwx\nSymbolic Link = ../x\n";
                break;
            case L'R':
                text += L"Attributes = AL\n";
                break;
            case L'H':
                text += L"Attributes = A\nHard Link = other\n";
                break;
            case L'S':
                text += L"Attributes = A\nAlternate Stream = +\n";
                break;
            default:
                text += L"Attributes = A\n";
                break;
        }
        Print(text + L"CRC = 12345678\n\n");
    }
}

void ListAsRar(const std::wstring& archive, const std::vector<Entry>& entries) {
    Print(L"\nRAR (stand-in)\n\nArchive: " + archive + L"\nDetails: RAR 5\n\n");
    for (const Entry& entry : entries) {
        const wchar_t* type = L"File";
        if (entry.kind == L'D') type = L"Directory";
        if (entry.kind == L'L') type = L"Unix symbolic link";
        if (entry.kind == L'R') type = L"Windows junction";
        if (entry.kind == L'H') type = L"Hard link";
        // RAR names a file's NTFS stream after the file and a colon.
        const std::wstring name = entry.kind == L'S' ? entry.name + L":stream" : entry.name;
        Print(L"        Name: " + name + L"\n        Type: " + type +
              L"\n        Size: 6\n  Attributes: ..A....\n\n");
    }
}

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

// The archive: the first argument after the command that is not a switch.
std::wstring ArchiveOf(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(commandLine, &count);
    std::wstring archive;
    for (int i = 2; i < count && archive.empty(); ++i) {
        if (arguments[i][0] != L'-') archive = arguments[i];
    }
    ::LocalFree(arguments);
    return archive;
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
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(commandLine, &count);
    const std::wstring command = count > 1 ? arguments[1] : L"";
    const std::wstring archive = count > 0 ? arguments[count - 1] : L"";
    ::LocalFree(arguments);
    if (command == L"l" || command == L"lt") {
        const std::vector<Entry> entries = EntriesOf(archive);
        if (command == L"l") ListAsSevenZip(archive, entries);
        if (command == L"lt") ListAsRar(archive, entries);
        return 0;
    }
    ::Sleep(300);
    const std::wstring destination = Destination(commandLine);
    ::CreateDirectoryW(destination.c_str(), nullptr);
    const std::wstring source = ArchiveOf(commandLine);
    bool manifest = false;
    const std::vector<Entry> entries = EntriesOf(source, &manifest);
    for (const Entry& entry : entries) {
        const std::wstring path = destination + L"\\" + entry.name;
        if (entry.kind == L'D') ::CreateDirectoryW(path.c_str(), nullptr);
        if (entry.kind == L'F') WriteText(path, L"update");
    }
    if (!manifest) {
        const std::wstring readme = destination + L"\\readme.txt";
        WriteText(readme, L"read me");
        ::SetFileAttributesW(readme.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    return 7;
}
