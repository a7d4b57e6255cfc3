#pragma once
// Local staging of a downloaded database archive: the staging folder, the check of archive
// names that come from the server, the external archivers with their command lines, the
// search for the update file among the unpacked files, and the clean-up afterwards.
// Everything here runs on the update worker's thread and blocks it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// The longest temp path, registry value, executable path and matched file path we accept.
inline constexpr std::size_t kMaxPathChars = 259;
// The longest listing pattern (folder, separator, "*.*") the search and the delete accept.
inline constexpr std::size_t kMaxPatternChars = 1023;
// Longest file name a server may give an archive (one path component on NTFS and ext4).
inline constexpr std::size_t kMaxArchiveNameChars = 255;
// The archiver's output folder inside the staging folder.
inline constexpr std::wstring_view kExtractFolderName = L"TmpTmp";

// ---- Names and folders ----

// `folder` and `name` with one separator between them (none added when `folder` ends in one).
[[nodiscard]] std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

// The archive's file name: the address's text after its last "/" (the whole address without).
[[nodiscard]] std::wstring_view ArchiveNameFromUrl(std::wstring_view url);
// The name up to its last "."; empty when it has no ".".
[[nodiscard]] std::wstring_view BaseNameOf(std::wstring_view archiveName);

// The staging folder for an archive's base name: the temp path up to and including its last
// separator, then the base name. A temp path that does not end in a separator gets one, so the
// folder stays inside it. An empty base name gives the temp folder itself. False, leaving
// `stagingFolder` unchanged, when the temp path is empty or longer than kMaxPathChars. The
// base name must come from an archive name that IsSafeArchiveName accepted.
[[nodiscard]] bool MakeStagingFolderPath(std::wstring_view tempPath, std::wstring_view baseName,
                                         std::wstring& stagingFolder);
// The same under this user's TempFolder(); false when there is none (call TempFolder(whyNot)
// and the form above to tell the user why).
[[nodiscard]] bool MakeStagingFolderPath(std::wstring_view baseName, std::wstring& stagingFolder);

// True when a file name received from the server names a file directly inside the staging
// folder on every platform: not empty, at most kMaxArchiveNameChars, no path separator, no
// "..", no drive or device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with or
// without an extension), none of <>:"/\|?* nor control characters, and no trailing "." or
// blank (Windows would drop them, so the file on disk would not be the one checked).
[[nodiscard]] bool IsSafeArchiveName(std::wstring_view name);

enum class ArchiveType { None, Rar, Zip, SevenZip };

// By the exact, case-sensitive end of the path: "rar", else "zip", else "7z".
[[nodiscard]] ArchiveType ArchiveTypeOf(std::wstring_view archivePath);

// ---- Archiver command lines ----

enum class ArchiverShape {
    WinRar,     // WinRAR: x -o+ -y -IBCK "archive" *.* "destination"
    SevenZip,   // 7-Zip, HaoZip, p7zip, 7zz:  x "archive" -aoa -y "-odestination"
    Unrar,      // unrar from RARLAB: x -o+ -y -idq "archive" "destination/"
    UnrarFree,  // unrar-free: -x -f "archive" "destination/"
};

// The argument text for one archiver: unpack everything into the destination folder,
// overwriting without asking.
[[nodiscard]] std::wstring ArchiverArguments(ArchiverShape shape, std::wstring_view archivePath,
                                             std::wstring_view destinationFolder);
// The whole command line: the quoted executable, a blank, the argument text.
[[nodiscard]] std::wstring ArchiverCommandLine(std::wstring_view executable,
                                               std::wstring_view arguments);
// Splits an argument text at blanks and tabs outside double quotes; the quotes are dropped.
// The inverse of how ArchiverArguments quotes paths, which never hold a double quote.
[[nodiscard]] std::vector<std::wstring> SplitArguments(std::wstring_view arguments);

// An App Paths "Path" value followed by the executable's name, with one backslash between.
[[nodiscard]] std::wstring AppPathExecutable(std::wstring_view appPath,
                                             std::wstring_view executableName);

// What the App Paths lookup asks of the system; the Windows edge reads the registry.
class AppPathsSystem {
public:
    virtual ~AppPathsSystem() = default;
    // The "Path" value of a key under HKEY_LOCAL_MACHINE.
    [[nodiscard]] virtual bool ReadAppPath(const std::wstring& keyPath, std::wstring& value) = 0;
    [[nodiscard]] virtual bool FileExists(const std::wstring& path) = 0;
    // Creates a folder; an existing one is fine and a failure is ignored.
    virtual void MakeFolder(const std::wstring& path) = 0;
};

// WinRAR, then HaoZip, then 7-Zip, each found by its App Paths key; the first whose
// executable exists wins. WinRAR's destination folder is created beforehand, the others
// create it themselves. False, leaving the outputs unchanged, when none is installed.
[[nodiscard]] bool FindAppPathsArchiver(AppPathsSystem& system,
                                        const std::wstring& destinationFolder,
                                        const std::wstring& archivePath, std::wstring& executable,
                                        std::wstring& arguments);

// What the PATH lookup asks of the system; the POSIX edge searches PATH.
class PathSystem {
public:
    virtual ~PathSystem() = default;
    // The full path of an executable program on PATH, and the file name it resolves to once
    // links are followed (Debian's `unrar` may be unrar-free). False when there is none.
    [[nodiscard]] virtual bool FindProgram(std::wstring_view name, std::wstring& path,
                                           std::wstring& resolvedName) = 0;
    // Creates a folder; an existing one is fine and a failure is ignored.
    virtual void MakeFolder(const std::wstring& path) = 0;
};

// For a .rar archive `unrar` first; then `7z`, `7za`, `7zz`. The destination folder is
// created beforehand. False, leaving the outputs unchanged, when none is on PATH or when a
// path holds a double quote (it could not be passed through the argument text).
[[nodiscard]] bool FindPathArchiver(PathSystem& system, const std::wstring& destinationFolder,
                                    const std::wstring& archivePath, std::wstring& executable,
                                    std::wstring& arguments);

// How long RunArchiver waits. Unpacking a database takes well under a minute; an archiver
// that waits for an answer in its hidden window (a password, a damaged archive) would
// otherwise block the update forever.
inline constexpr std::uint32_t kArchiverWaitLimitMs = 5 * 60 * 1000;
// The exit code RunArchiver reports for an archiver it had to end.
inline constexpr std::uint32_t kArchiverTimedOut = 0xFFFFFFFFu;

// The archivers seam: find an installed archiver and run it hidden.
class Archivers {
public:
    virtual ~Archivers() = default;
    // The executable and argument text that unpack `archivePath` into `destinationFolder`.
    // False when no archiver is installed.
    [[nodiscard]] virtual bool FindArchiver(const std::wstring& destinationFolder,
                                            const std::wstring& archivePath,
                                            std::wstring& executable, std::wstring& arguments) = 0;
    // Runs the archiver with no window and no terminal and waits for it. True with its exit
    // code when it ran to its end; false when it could not be started, or when it was still
    // running at the wait limit: it is then ended and `exitCode` is kArchiverTimedOut.
    [[nodiscard]] virtual bool RunArchiver(const std::wstring& arguments,
                                           const std::wstring& executable,
                                           std::uint32_t& exitCode) = 0;
};

// The installed archivers: App Paths on Windows, PATH elsewhere.
[[nodiscard]] std::unique_ptr<Archivers> MakeSystemArchivers(
    std::uint32_t waitLimitMs = kArchiverWaitLimitMs);

// ---- Files: search and delete ----

struct FolderEntry {
    std::wstring name;
    bool isFolder = false;  // a real folder; a link to a folder is not one
    bool isLink = false;    // a symbolic link, junction or other reparse point: never followed
};

// The file operations of the search and the delete.
class StagingFiles {
public:
    virtual ~StagingFiles() = default;
    // The folder's entries in the OS's listing order ("." and ".." included where the OS lists
    // them). False when the folder cannot be listed or is itself a link.
    [[nodiscard]] virtual bool ListFolder(const std::wstring& folder,
                                          std::vector<FolderEntry>& entries) = 0;
    // Deletes a file, or a link itself and never what it points to.
    virtual bool RemoveFile(const std::wstring& path) = 0;
    // Removes an empty folder, or a link standing where the folder was expected (the link
    // itself, never what it points to).
    virtual bool RemoveFolder(const std::wstring& path) = 0;
    // Lets the folder be listed and its entries deleted: archives may carry read-only folders.
    virtual void AllowChanges(const std::wstring& folder) = 0;
    // Creates a folder (only the user may write it on POSIX); an existing folder is fine.
    virtual bool MakeFolder(const std::wstring& path) = 0;
};

// This platform's file operations. Stateless; any thread may use it.
[[nodiscard]] StagingFiles& SystemStagingFiles();

// The match test: the text after the last "." of a lower-cased copy of the full path is
// "qdx". A path longer than kMaxPathChars never matches.
[[nodiscard]] bool IsUpdateFilePath(std::wstring_view fullPath);

// Searches `folder` (into subfolders when `recurse`) for an update file. Every match sets
// `result` to its full path as listed, so a match in a later subfolder replaces an earlier
// one; a match among a folder's own entries ends that folder's listing. Links are counted
// but never followed nor matched. Returns the number of entries visited, or -1 when the
// folder cannot be listed or its pattern would be longer than kMaxPatternChars.
[[nodiscard]] int FindUpdateFile(const std::wstring& folder, bool recurse, std::wstring& result,
                                 StagingFiles& files);
[[nodiscard]] int FindUpdateFile(const std::wstring& folder, bool recurse, std::wstring& result);

// Deletes the folder's files and subfolders, then the folder itself; links are removed, never
// followed, and a folder that is itself a link loses only the link. Failures of single deletes are ignored; a folder that cannot be listed is still
// removed when it is empty. An empty path or one whose pattern would be longer than
// kMaxPatternChars is refused: nothing is deleted.
void DeleteFolderTree(const std::wstring& folder, StagingFiles& files);
void DeleteFolderTree(const std::wstring& folder);

}  // namespace kivrel
