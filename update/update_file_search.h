#pragma once
// The search for the update file among the unpacked files.

#include <string>
#include <string_view>

namespace kivrel {

class StagingFiles;

// The match test: the text after the last "." of the full path (the whole path without one)
// is "qdx" in any letter case. A path longer than kMaxPathChars never matches.
[[nodiscard]] bool IsUpdateFilePath(std::wstring_view fullPath);

// Searches `folder` (into subfolders when `recurse`) for an update file. Every match sets
// `result` to its full path as listed, so a match in a later subfolder replaces an earlier
// one; a match among a folder's own entries ends that folder's listing. Links are counted
// but never followed nor matched. Returns the number of entries visited, or -1 when the
// folder cannot be listed or its pattern would be longer than kMaxPatternChars.
[[nodiscard]] int FindUpdateFile(const std::wstring& folder, bool recurse, std::wstring& result,
                                 StagingFiles& files);
[[nodiscard]] int FindUpdateFile(const std::wstring& folder, bool recurse, std::wstring& result);

}  // namespace kivrel
