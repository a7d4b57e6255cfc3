// Archivers on Windows: found through the registry's App Paths, started hidden, waited for.

#include <windows.h>

#include "update/archivers_win32.h"

#include <algorithm>
#include <chrono>

#include "base/win32_handle.h"
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
        std::wstring commandLine = ArchiverCommandLine(executable, arguments);
        if (commandLine.size() >= kMaxCommandLineChars) return false;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &started)) {
            return false;
        }
        ::CloseHandle(started.hThread);
        const UniqueKernelHandle process(started.hProcess);
        if (!WaitFor(process.Get(), stopRequested)) {
            ::TerminateProcess(process.Get(), kArchiverEnded);
            ::WaitForSingleObject(process.Get(), 5000);
            exitCode = kArchiverEnded;
            return false;
        }
        DWORD code = 0;
        if (!::GetExitCodeProcess(process.Get(), &code)) code = kArchiverEnded;
        exitCode = code;
        return true;
    }

private:
    // True when the process ended by itself: before the wait limit and before a stop request.
    [[nodiscard]] bool WaitFor(HANDLE process,
                               const std::atomic<std::int32_t>& stopRequested) const {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point end = Clock::now() + waitLimit;
        for (;;) {
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
