#pragma once
// The file operations the search for the update file and the clean-up use, behind an
// interface so tests can choose a listing order.

#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

struct FolderEntry {
    std::wstring name;
    bool isFolder = false;  // a real folder; a link to a folder is not one
    bool isLink = false;    // a symbolic link, junction or other reparse point: never followed
};

[[nodiscard]] inline bool IsDotEntry(std::wstring_view name) {
    return name == L"." || name == L"..";
}

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

}  // namespace kivrel
