// The search's and the delete's file operations on Windows, listing with FindFirstFileW so
// entries come in the file system's own order.

#include <windows.h>

#include "base/unique_resource.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"

namespace kivrel {
namespace {

struct FindHandleTraits {
    using Native = HANDLE;
    static Native Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Native h) noexcept { ::FindClose(h); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

void ClearReadOnly(const std::wstring& path, DWORD attributes) {
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        ::SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
}

class Win32StagingFiles final : public StagingFiles {
public:
    bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) override {
        // Listing through a junction would reach files outside the folder.
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return false;
        }
        const std::wstring pattern = JoinPath(folder, L"*.*");
        WIN32_FIND_DATAW found{};
        const UniqueFindHandle listing(::FindFirstFileW(pattern.c_str(), &found));
        if (!listing.Valid()) return false;
        entries.clear();
        do {
            FolderEntry entry;
            entry.name = found.cFileName;
            entry.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            entry.isFolder =
                !entry.isLink && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entries.push_back(std::move(entry));
        } while (::FindNextFileW(listing.Get(), &found));
        return true;
    }

    bool RemoveFile(const std::wstring& path) override {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        ClearReadOnly(path, attributes);
        // A link to a folder is removed as a folder; its target is left alone.
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return ::RemoveDirectoryW(path.c_str()) != 0;
        }
        return ::DeleteFileW(path.c_str()) != 0;
    }

    bool RemoveFolder(const std::wstring& path) override {
        return ::RemoveDirectoryW(path.c_str()) != 0;
    }

    void AllowChanges(const std::wstring& folder) override {
        ClearReadOnly(folder, ::GetFileAttributesW(folder.c_str()));
    }

    bool MakeFolder(const std::wstring& path) override {
        return ::CreateDirectoryW(path.c_str(), nullptr) != 0 ||
               ::GetLastError() == ERROR_ALREADY_EXISTS;
    }
};

}  // namespace

StagingFiles& SystemStagingFiles() {
    static Win32StagingFiles files;
    return files;
}

}  // namespace kivrel
