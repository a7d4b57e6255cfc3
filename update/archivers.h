#pragma once
// The archivers seam: find an archiver for a downloaded archive and run it. On Windows these
// are the installed WinRAR, HaoZip or 7-Zip, found through App Paths and started hidden; on
// Linux and macOS the unpacker is built in (libarchive), so one is always found.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kivrel {

// How long RunArchiver lets an archiver work. Unpacking a database takes well under a minute;
// an archiver that waits for an answer in its hidden window (a password, a damaged archive)
// would otherwise block the update forever.
inline constexpr std::uint32_t kArchiverWaitLimitMs = 5 * 60 * 1000;
// The exit code RunArchiver reports for an archiver it had to end.
inline constexpr std::uint32_t kArchiverEnded = 0xFFFFFFFFu;
// The exit code RunArchiver reports for an archive it did not unpack because its entries
// could not be listed, or one would land outside the destination (an absolute name, a ".."
// part, a drive letter, a link or other reparse point, a device name).
inline constexpr std::uint32_t kArchiverRefused = 0xFFFFFFFEu;

// Why an unpack was not used, in the user's words.
inline constexpr std::wstring_view kTextArchiveUnsafe =
    L"The database archive holds entries that could reach outside its folder (an absolute "
    L"name, a \"..\" part, a drive letter or a link), or they could not be listed: it was not "
    L"used.";
inline constexpr std::wstring_view kTextArchiverTimedOut =
    L"The decompression tool did not finish in time: what it unpacked was not used.";

class Archivers {
public:
    virtual ~Archivers() = default;
    // The executable and argument text that unpack `archivePath` into `destinationFolder`.
    // False when no archiver is installed.
    //
    // Built in (Linux, macOS): always true. `executable` names the unpacker ("libarchive" and
    // its version) and `arguments` holds the archive path, a NUL character and the destination
    // folder; no path holds a NUL, so no quoting is needed and no path is refused.
    [[nodiscard]] virtual bool FindArchiver(const std::wstring& destinationFolder,
                                            const std::wstring& archivePath,
                                            std::wstring& executable, std::wstring& arguments) = 0;
    // Runs the archiver (a program with no window and no terminal, or the built-in unpacker
    // on this thread) and waits for it. True with its exit code when it ran to its end; false
    // when it could not be started, or when it had to be ended because `stopRequested` was
    // raised or the wait limit passed (`exitCode` is then kArchiverEnded), or when the
    // archive's entries were refused before it ran (kArchiverRefused).
    [[nodiscard]] virtual bool RunArchiver(const std::wstring& arguments,
                                           const std::wstring& executable, std::uint32_t& exitCode,
                                           const std::atomic<std::int32_t>& stopRequested) = 0;
};

// This platform's archivers.
[[nodiscard]] std::unique_ptr<Archivers> MakeSystemArchivers(
    std::uint32_t waitLimitMs = kArchiverWaitLimitMs);

}  // namespace kivrel
