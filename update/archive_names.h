#pragma once
// The database archive's name, which comes from the server: where it is taken from, whether
// it is a plain file name, and which kind of archive it names.

#include <cstddef>
#include <string_view>

namespace kivrel {

// Longest file name a server may give an archive (one path component on NTFS and ext4).
inline constexpr std::size_t kMaxArchiveNameChars = 255;

// The archive's file name: the address's text after its last "/" (the whole address without).
[[nodiscard]] std::wstring_view ArchiveNameFromUrl(std::wstring_view url);
// The name up to its last "."; empty when it has no ".".
[[nodiscard]] std::wstring_view BaseNameOf(std::wstring_view archiveName);

// True when a file name received from the server names a file directly inside the staging
// folder on every platform: not empty, at most kMaxArchiveNameChars, no path separator, no
// "..", no drive or device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with or
// without an extension), none of <>:"/\|?* nor control characters, and no trailing "." or
// blank (Windows would drop them, so the file on disk would not be the one checked).
[[nodiscard]] bool IsSafeArchiveName(std::wstring_view name);

enum class ArchiveType { None, Rar, Zip, SevenZip };

// By the exact, case-sensitive end of the path: "rar", else "zip", else "7z".
[[nodiscard]] ArchiveType ArchiveTypeOf(std::wstring_view archivePath);

}  // namespace kivrel
