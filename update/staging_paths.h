#pragma once
// Where a downloaded archive is kept and unpacked: the staging folder under the temp folder,
// and the extract folder inside it. Also the path limits the staging code shares.

#include <cstddef>
#include <string>
#include <string_view>

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
// The unpacked files' folder inside the staging folder.
inline constexpr std::wstring_view kExtractFolderName = L"TmpTmp";

// `folder` and `name` with one separator between them (none added when `folder` ends in one).
[[nodiscard]] std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

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

}  // namespace kivrel
