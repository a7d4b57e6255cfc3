// Archivers on Windows: found through the registry's App Paths, started hidden, waited for.

#include <windows.h>

#include "update/archivers_win32.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "base/win32_handle.h"
#include "update/archive_listing.h"
#include "update/archiver_commands.h"
#include "update/archivers.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"

namespace kivrel {
namespace {

struct RegistryKeyTraits {
    using Native = HKEY;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native key) noexcept { ::RegCloseKey(key); }
};
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

// CreateProcessW's limit for a whole command line, terminator included.
constexpr std::size_t kMaxCommandLineChars = 32767;
// How often the wait for an archiver looks at the stop request.
constexpr DWORD kStopPollMs = 50;

class Win32AppPathsSystem final : public AppPathsSystem {
public:
    bool ReadAppPath(const std::wstring& keyPath, RegistryView view, std::wstring& value) override {
        return kivrel::ReadAppPath(keyPath, view, value);
    }
    bool FileExists(const std::wstring& path) override { return kivrel::FileExists(path); }
    void MakeFolder(const std::wstring& path) override {
        static_cast<void>(SystemStagingFiles().MakeFolder(path));
    }
};

// The most a listing may print: a database archive lists a few entries.
constexpr std::size_t kMaxListingBytes = 16 * 1024 * 1024;

enum class RunEnd { kNotStarted, kEnded, kExited };

[[nodiscard]] std::wstring LowerFileName(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    for (wchar_t& c : name) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return name;
}

class Win32Archivers final : public Archivers {
public:
    explicit Win32Archivers(std::uint32_t waitLimitMs) : waitLimit(waitLimitMs) {}

    bool FindArchiver(const std::wstring& destinationFolder, const std::wstring& archivePath,
                      std::wstring& executable, std::wstring& arguments) override {
        Win32AppPathsSystem system;
        return FindAppPathsArchiver(system, destinationFolder, archivePath, executable, arguments);
    }

    bool RunArchiver(const std::wstring& arguments, const std::wstring& executable,
                     std::uint32_t& exitCode,
                     const std::atomic<std::int32_t>& stopRequested) override {
        // The archivers overwrite what they unpack and follow an archive's names where they
        // lead: its entries are looked at before it may run.
        const RunEnd listed = CheckEntries(arguments, executable, exitCode, stopRequested);
        if (listed != RunEnd::kExited) return false;
        std::uint32_t code = 0;
        const RunEnd ran =
            Run(ArchiverCommandLine(executable, arguments), nullptr, code, stopRequested);
        if (ran == RunEnd::kNotStarted) return false;
        exitCode = code;
        return ran == RunEnd::kExited;
    }

private:
    // kExited when the archive may be unpacked; otherwise `exitCode` says why not
    // (kArchiverEnded, kArchiverRefused), or is left alone when nothing could be started.
    RunEnd CheckEntries(const std::wstring& arguments, const std::wstring& executable,
                        std::uint32_t& exitCode, const std::atomic<std::int32_t>& stopRequested) {
        const bool winRar = LowerFileName(executable) == L"winrar.exe";
        const std::wstring archive = ArchivePathFromArguments(arguments);
        std::wstring lister = executable;
        if (winRar) {
            const std::wstring folder = executable.substr(0, executable.find_last_of(L'\\') + 1);
            lister.clear();
            for (const wchar_t* name : {L"Rar.exe", L"UnRAR.exe"}) {
                if (lister.empty() && FileExists(folder + name)) lister = folder + name;
            }
        }
        if (archive.empty() || lister.empty()) {
            exitCode = kArchiverRefused;  // nothing to list it with: it is not unpacked
            return RunEnd::kEnded;
        }
        const ArchiverShape shape = winRar ? ArchiverShape::WinRar : ArchiverShape::SevenZip;
        std::string listing;
        std::uint32_t code = 0;
        const RunEnd end = Run(ArchiverCommandLine(lister, ListingArguments(shape, archive)),
                               &listing, code, stopRequested);
        if (end == RunEnd::kNotStarted) return end;
        if (end == RunEnd::kEnded) {
            exitCode = code;
            return end;
        }
        const auto entries =
            ParseArchiveListing(winRar ? ListingForm::kRar : ListingForm::kSevenZip, listing);
        if (code != 0 || !entries || !ListingIsSafe(*entries)) {
            exitCode = kArchiverRefused;
            return RunEnd::kEnded;
        }
        return RunEnd::kExited;
    }

    // Starts a program hidden and waits for it within the limit and the stop request; with
    // `output`, what it prints goes there. kEnded when it had to be ended (`exitCode` is then
    // kArchiverEnded, as it is for a listing that would not stop growing).
    RunEnd Run(std::wstring commandLine, std::string* output, std::uint32_t& exitCode,
               const std::atomic<std::int32_t>& stopRequested) const {
        if (commandLine.size() >= kMaxCommandLineChars) return RunEnd::kNotStarted;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        UniqueKernelHandle readEnd;
        UniqueKernelHandle writeEnd;
        UniqueFileHandle nothing;
        DWORD flags = 0;
        if (output != nullptr) {
            SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
            HANDLE read = nullptr;
            HANDLE write = nullptr;
            if (!::CreatePipe(&read, &write, &inherited, 0)) return RunEnd::kNotStarted;
            readEnd = UniqueKernelHandle(read);
            writeEnd = UniqueKernelHandle(write);
            ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
            nothing = UniqueFileHandle(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                                     OPEN_EXISTING, 0, nullptr));
            startup.dwFlags |= STARTF_USESTDHANDLES;
            startup.hStdInput = nothing.Get();  // a question finds no one to answer it
            startup.hStdOutput = write;
            startup.hStdError = nothing.Get();
            flags = CREATE_NO_WINDOW;
        }
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr,
                              output != nullptr ? TRUE : FALSE, flags, nullptr, nullptr, &startup,
                              &started)) {
            return RunEnd::kNotStarted;
        }
        ::CloseHandle(started.hThread);
        writeEnd.Reset();  // the child's copy is the only one: its end ends the pipe
        const UniqueKernelHandle process(started.hProcess);
        if (!WaitFor(process.Get(), stopRequested, readEnd.Get(), output)) {
            ::TerminateProcess(process.Get(), kArchiverEnded);
            ::WaitForSingleObject(process.Get(), 5000);
            exitCode = kArchiverEnded;
            return RunEnd::kEnded;
        }
        if (output != nullptr) Drain(readEnd.Get(), *output);
        DWORD code = 0;
        if (!::GetExitCodeProcess(process.Get(), &code)) code = kArchiverEnded;
        exitCode = code;
        if (output != nullptr && output->size() > kMaxListingBytes) {
            exitCode = kArchiverEnded;
            return RunEnd::kEnded;
        }
        return RunEnd::kExited;
    }

    // Reads what is waiting in the pipe, without waiting for more.
    static void Drain(HANDLE pipe, std::string& output) {
        char piece[4096];
        for (;;) {
            DWORD waiting = 0;
            if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) {
                return;
            }
            DWORD read = 0;
            if (!::ReadFile(pipe, piece, std::min<DWORD>(waiting, sizeof piece), &read, nullptr) ||
                read == 0) {
                return;
            }
            output.append(piece, read);
            if (output.size() > kMaxListingBytes) return;
        }
    }

    // True when the process ended by itself: before the wait limit and before a stop request.
    // The pipe is emptied meanwhile, so a long listing cannot block its writer.
    [[nodiscard]] bool WaitFor(HANDLE process, const std::atomic<std::int32_t>& stopRequested,
                               HANDLE pipe, std::string* output) const {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point end = Clock::now() + waitLimit;
        for (;;) {
            if (output != nullptr) {
                Drain(pipe, *output);
                if (output->size() > kMaxListingBytes) return false;
            }
            if (stopRequested.load(std::memory_order_relaxed) != 0) return false;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) return false;
            const DWORD slice =
                static_cast<DWORD>(std::min<std::int64_t>(left.count(), kStopPollMs));
            const DWORD waited = ::WaitForSingleObject(process, slice);
            if (waited == WAIT_OBJECT_0) return true;
            if (waited != WAIT_TIMEOUT) return false;
        }
    }

    std::chrono::milliseconds waitLimit;
};

}  // namespace

bool FileExists(const std::wstring& path) {
    if (path.empty() || path.size() > kMaxPathChars) return false;
    const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
}

bool ReadAppPath(const std::wstring& keyPath, RegistryView view, std::wstring& value) {
    const REGSAM access =
        KEY_QUERY_VALUE | (view == RegistryView::Wow32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, access, &opened) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueRegistryKey key(opened);
    // Room for kMaxPathChars and a terminator; a longer value fails with ERROR_MORE_DATA.
    wchar_t text[kMaxPathChars + 1] = {};
    DWORD bytes = sizeof(text);
    if (::RegQueryValueExW(key.Get(), L"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                           &bytes) != ERROR_SUCCESS) {
        return false;
    }
    // The stored text need not carry its terminator.
    std::wstring read(text, bytes / sizeof(wchar_t));
    read.resize(read.find(L'\0') == std::wstring::npos ? read.size() : read.find(L'\0'));
    if (read.size() > kMaxPathChars) return false;
    value = std::move(read);
    return true;
}

std::unique_ptr<Archivers> MakeSystemArchivers(std::uint32_t waitLimitMs) {
    return std::make_unique<Win32Archivers>(waitLimitMs);
}

}  // namespace kivrel
