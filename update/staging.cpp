#include "update/staging.h"

#include <array>

#include "base/temp_folder.h"

namespace kivrel {
namespace {

constexpr std::wstring_view kAllFiles = L"*.*";

[[nodiscard]] bool EndsWith(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Only ASCII letters: device names and the update-file extension are ASCII.
[[nodiscard]] wchar_t LowerAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

[[nodiscard]] bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

[[nodiscard]] bool IsDotEntry(std::wstring_view name) {
    return name == L"." || name == L"..";
}

// Windows opens the device whatever the extension, and ignores blanks before the dot.
[[nodiscard]] bool IsDeviceName(std::wstring_view name) {
    std::wstring_view stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
    constexpr std::array<std::wstring_view, 6> kDevices = {L"con", L"prn",    L"aux",
                                                           L"nul", L"conin$", L"conout$"};
    for (std::wstring_view device : kDevices) {
        if (EqualsIgnoringAsciiCase(stem, device)) return true;
    }
    if (stem.size() != 4) return false;
    const std::wstring_view port = stem.substr(0, 3);
    if (!EqualsIgnoringAsciiCase(port, L"com") && !EqualsIgnoringAsciiCase(port, L"lpt")) {
        return false;
    }
    // Digits, and the superscripts 1-3 that Windows also treats as port numbers.
    const wchar_t digit = stem[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
           digit == L'\u00B3';
}

[[nodiscard]] bool IsForbiddenNameChar(wchar_t c) {
    if (c < 0x20 || c == 0x7F) return true;
    constexpr std::wstring_view kForbidden = L"<>:\"/\\|?*";
    return kForbidden.find(c) != std::wstring_view::npos;
}

struct AppPathsArchiver {
    std::wstring_view keyPath;
    std::wstring_view executableName;
    ArchiverShape shape;
};

constexpr std::array<AppPathsArchiver, 3> kAppPathsArchivers = {{
    {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WinRAR.exe", L"WinRar.exe",
     ArchiverShape::WinRar},
    {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\HaoZip.exe", L"HaoZipC.exe",
     ArchiverShape::SevenZip},
    {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\7zFM.exe", L"7z.exe",
     ArchiverShape::SevenZip},
}};

constexpr std::array<std::wstring_view, 3> kSevenZipPrograms = {L"7z", L"7za", L"7zz"};

}  // namespace

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
    path += name;
    return path;
}

std::wstring_view ArchiveNameFromUrl(std::wstring_view url) {
    const std::size_t slash = url.rfind(L'/');
    return slash == std::wstring_view::npos ? url : url.substr(slash + 1);
}

std::wstring_view BaseNameOf(std::wstring_view archiveName) {
    const std::size_t dot = archiveName.rfind(L'.');
    return dot == std::wstring_view::npos ? std::wstring_view{} : archiveName.substr(0, dot);
}

bool MakeStagingFolderPath(std::wstring_view tempPath, std::wstring_view baseName,
                           std::wstring& stagingFolder) {
    if (tempPath.empty() || tempPath.size() > kMaxPathChars) return false;
    // GetTempPathW always ends in a separator, so cutting after the last one keeps the whole
    // path; a path without one (a POSIX cache folder) must not lose its last component.
    std::wstring folder(tempPath);
    if (folder.back() != kPathSeparator) folder += kPathSeparator;
    folder += baseName;
    stagingFolder = std::move(folder);
    return true;
}

bool MakeStagingFolderPath(std::wstring_view baseName, std::wstring& stagingFolder) {
    return MakeStagingFolderPath(TempFolder(), baseName, stagingFolder);
}

bool IsSafeArchiveName(std::wstring_view name) {
    if (name.empty() || name.size() > kMaxArchiveNameChars) return false;
    if (name.find(L"..") != std::wstring_view::npos) return false;
    for (wchar_t c : name) {
        if (IsForbiddenNameChar(c)) return false;
    }
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !IsDeviceName(name);
}

ArchiveType ArchiveTypeOf(std::wstring_view archivePath) {
    if (EndsWith(archivePath, L"rar")) return ArchiveType::Rar;
    if (EndsWith(archivePath, L"zip")) return ArchiveType::Zip;
    if (EndsWith(archivePath, L"7z")) return ArchiveType::SevenZip;
    return ArchiveType::None;
}

std::wstring ArchiverArguments(ArchiverShape shape, std::wstring_view archivePath,
                               std::wstring_view destinationFolder) {
    std::wstring arguments;
    switch (shape) {
        case ArchiverShape::WinRar:
            arguments = L"x";
            arguments += L" -o+ -y -IBCK ";
            arguments += L'"';
            arguments += archivePath;
            arguments += L'"';
            arguments += L" *.* ";
            arguments += L'"';
            arguments += destinationFolder;
            arguments += L'"';
            break;
        case ArchiverShape::SevenZip:
            arguments = L" x \"";
            arguments += archivePath;
            arguments += L"\" -aoa -y \"-o";
            arguments += destinationFolder;
            arguments += L'"';
            break;
        case ArchiverShape::Unrar:
        case ArchiverShape::UnrarFree:
            // Both read a destination ending in a separator as a folder to unpack into.
            arguments = shape == ArchiverShape::Unrar ? L"x -o+ -y -idq \"" : L"-x -f \"";
            arguments += archivePath;
            arguments += L"\" \"";
            arguments += JoinPath(destinationFolder, L"");
            arguments += L'"';
            break;
    }
    return arguments;
}

std::wstring ArchiverCommandLine(std::wstring_view executable, std::wstring_view arguments) {
    std::wstring commandLine = L"\"";
    commandLine += executable;
    commandLine += L"\" ";
    commandLine += arguments;
    return commandLine;
}

std::vector<std::wstring> SplitArguments(std::wstring_view arguments) {
    std::vector<std::wstring> pieces;
    std::wstring piece;
    bool inPiece = false;
    bool quoted = false;
    for (wchar_t c : arguments) {
        if (c == L'"') {
            quoted = !quoted;
            inPiece = true;  // "" is an empty argument
        } else if (!quoted && (c == L' ' || c == L'\t')) {
            if (inPiece) pieces.push_back(std::move(piece));
            piece.clear();
            inPiece = false;
        } else {
            piece += c;
            inPiece = true;
        }
    }
    if (inPiece) pieces.push_back(std::move(piece));
    return pieces;
}

std::wstring AppPathExecutable(std::wstring_view appPath, std::wstring_view executableName) {
    std::wstring executable(appPath);
    if (executable.empty() || executable.back() != L'\\') executable += L'\\';
    executable += executableName;
    return executable;
}

bool FindAppPathsArchiver(AppPathsSystem& system, const std::wstring& destinationFolder,
                          const std::wstring& archivePath, std::wstring& executable,
                          std::wstring& arguments) {
    for (const AppPathsArchiver& archiver : kAppPathsArchivers) {
        std::wstring appPath;
        if (!system.ReadAppPath(std::wstring(archiver.keyPath), appPath)) continue;
        // An empty value would name the drive's root folder; too long ones cannot be held.
        if (appPath.empty() || appPath.size() > kMaxPathChars) continue;
        std::wstring candidate = AppPathExecutable(appPath, archiver.executableName);
        if (candidate.size() > kMaxPathChars || !system.FileExists(candidate)) continue;
        if (archiver.shape == ArchiverShape::WinRar) system.MakeFolder(destinationFolder);
        arguments = ArchiverArguments(archiver.shape, archivePath, destinationFolder);
        executable = std::move(candidate);
        return true;
    }
    return false;
}

bool FindPathArchiver(PathSystem& system, const std::wstring& destinationFolder,
                      const std::wstring& archivePath, std::wstring& executable,
                      std::wstring& arguments) {
    if (destinationFolder.find(L'"') != std::wstring::npos ||
        archivePath.find(L'"') != std::wstring::npos) {
        return false;
    }
    std::vector<std::wstring_view> programs;
    if (ArchiveTypeOf(archivePath) == ArchiveType::Rar) programs.push_back(L"unrar");
    programs.insert(programs.end(), kSevenZipPrograms.begin(), kSevenZipPrograms.end());

    for (std::wstring_view program : programs) {
        std::wstring path;
        std::wstring resolvedName;
        if (!system.FindProgram(program, path, resolvedName)) continue;
        if (path.empty() || path.find(L'"') != std::wstring::npos) continue;
        ArchiverShape shape = ArchiverShape::SevenZip;
        if (program == L"unrar") {
            shape = resolvedName == L"unrar-free" ? ArchiverShape::UnrarFree : ArchiverShape::Unrar;
        }
        system.MakeFolder(destinationFolder);
        arguments = ArchiverArguments(shape, archivePath, destinationFolder);
        executable = std::move(path);
        return true;
    }
    return false;
}

bool IsUpdateFilePath(std::wstring_view fullPath) {
    if (fullPath.size() > kMaxPathChars) return false;
    const std::size_t dot = fullPath.rfind(L'.');
    const std::wstring_view extension =
        dot == std::wstring_view::npos ? fullPath : fullPath.substr(dot + 1);
    return EqualsIgnoringAsciiCase(extension, L"qdx");
}

int FindUpdateFile(const std::wstring& folder, bool recurse, std::wstring& result,
                   StagingFiles& files) {
    if (folder.empty() || JoinPath(folder, kAllFiles).size() > kMaxPatternChars) return -1;
    std::vector<FolderEntry> entries;
    if (!files.ListFolder(folder, entries)) return -1;

    int visited = 0;
    for (const FolderEntry& entry : entries) {
        const std::wstring fullPath = JoinPath(folder, entry.name);
        if (entry.isFolder && recurse) {
            if (IsDotEntry(entry.name)) continue;
            // A match in there is recorded but does not end this folder's listing.
            const int inside = FindUpdateFile(JoinPath(fullPath, L""), recurse, result, files);
            if (inside > 0) visited += inside;
            continue;
        }
        ++visited;
        if (!entry.isFolder && !entry.isLink && IsUpdateFilePath(fullPath)) {
            result = fullPath;
            break;
        }
    }
    return visited;
}

int FindUpdateFile(const std::wstring& folder, bool recurse, std::wstring& result) {
    return FindUpdateFile(folder, recurse, result, SystemStagingFiles());
}

void DeleteFolderTree(const std::wstring& folder, StagingFiles& files) {
    // An empty folder would make the pattern name the drive's root.
    if (folder.empty() || JoinPath(folder, kAllFiles).size() > kMaxPatternChars) return;
    files.AllowChanges(folder);
    std::vector<FolderEntry> entries;
    if (files.ListFolder(folder, entries)) {
        for (const FolderEntry& entry : entries) {
            if (IsDotEntry(entry.name)) continue;
            const std::wstring fullPath = JoinPath(folder, entry.name);
            if (entry.isFolder) {
                DeleteFolderTree(JoinPath(fullPath, L""), files);
            } else {
                files.RemoveFile(fullPath);
            }
        }
    }
    files.RemoveFolder(folder);
}

void DeleteFolderTree(const std::wstring& folder) {
    DeleteFolderTree(folder, SystemStagingFiles());
}

}  // namespace kivrel
