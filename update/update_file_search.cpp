#include "update/update_file_search.h"

#include <vector>

#include "base/ascii_text.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"

namespace kivrel {

bool IsUpdateFilePath(std::wstring_view fullPath) {
    return fullPath.size() <= kMaxPathChars && ExtensionIs(fullPath, L"qdx");
}

int FindUpdateFile(const std::wstring& folder, bool recurse, std::wstring& result,
                   StagingFiles& files) {
    if (folder.empty() || JoinPath(folder, L"*.*").size() > kMaxPatternChars) return -1;
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

}  // namespace kivrel
