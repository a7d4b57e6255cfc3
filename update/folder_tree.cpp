#include "update/folder_tree.h"

#include <vector>

#include "update/staging_files.h"
#include "update/staging_paths.h"

namespace kivrel {

void DeleteFolderTree(const std::wstring& folder, StagingFiles& files) {
    // An empty folder would make the pattern name the drive's root.
    if (folder.empty() || JoinPath(folder, L"*.*").size() > kMaxPatternChars) return;
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

namespace {

bool SubtreeIsPlain(const std::wstring& folder, StagingFiles& files) {
    std::vector<FolderEntry> entries;
    if (!files.ListFolder(folder, entries)) return false;
    for (const FolderEntry& entry : entries) {
        if (IsDotEntry(entry.name)) continue;
        if (entry.isLink) return false;
        if (entry.isFolder && !SubtreeIsPlain(JoinPath(folder, entry.name), files)) return false;
    }
    return true;
}

}  // namespace

bool HoldsOnlyPlainEntries(const std::wstring& folder, StagingFiles& files) {
    std::vector<FolderEntry> entries;
    if (folder.empty() || !files.ListFolder(folder, entries)) return true;
    return SubtreeIsPlain(folder, files);
}

void DeleteFolderTree(const std::wstring& folder) {
    DeleteFolderTree(folder, SystemStagingFiles());
}

}  // namespace kivrel
