#pragma once
// Removing what was unpacked.

#include <string>

namespace kivrel {

class StagingFiles;

// Deletes the folder's files and subfolders, then the folder itself; links are removed, never
// followed, and a folder that is itself a link loses only the link. Failures of single
// deletes are ignored; a folder that cannot be listed is still removed when it is empty. An
// empty path or one whose pattern would be longer than kMaxPatternChars is refused: nothing is
// deleted.
void DeleteFolderTree(const std::wstring& folder, StagingFiles& files);
void DeleteFolderTree(const std::wstring& folder);

// True when everything below `folder` is a plain file or folder: no link, junction or other
// reparse point (none is followed), and every folder below it can be listed. What an archiver
// left must be that before any of it is used. A folder that cannot be listed itself holds
// nothing to use (the search for the update file finds nothing there either): true.
[[nodiscard]] bool HoldsOnlyPlainEntries(const std::wstring& folder, StagingFiles& files);

}  // namespace kivrel
