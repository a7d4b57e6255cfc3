#include "update/staging_paths.h"

#include "base/temp_folder.h"

namespace kivrel {

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
    path += name;
    return path;
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

}  // namespace kivrel
