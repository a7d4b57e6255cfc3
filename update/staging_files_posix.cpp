// The search's and the delete's file operations on Linux and macOS.

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/native_path.h"
#include "base/unique_resource.h"
#include "update/staging_files.h"

namespace kivrel {
namespace {

struct DirTraits {
    using Native = DIR*;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native d) noexcept { ::closedir(d); }
};
using UniqueDir = UniqueResource<DirTraits>;

// The byte path for a wide one, without trailing separators (so O_NOFOLLOW applies to the
// last component). False for paths that cannot be encoded or reach PATH_MAX.
[[nodiscard]] bool ToNative(const std::wstring& path, std::string& native) {
    if (!NativeFromWide(path, native) || native.empty() || native.size() >= PATH_MAX) {
        return false;
    }
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    return true;
}

class PosixStagingFiles final : public StagingFiles {
public:
    bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) override {
        std::string native;
        if (!ToNative(folder, native)) return false;
        const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return false;
        UniqueDir dir(::fdopendir(fd));
        if (!dir.Valid()) {
            ::close(fd);
            return false;
        }
        entries.clear();
        while (const dirent* item = ::readdir(dir.Get())) {
            FolderEntry entry;
            entry.name = WideFromNative(item->d_name);
            unsigned char type = item->d_type;
            if (type == DT_UNKNOWN) {
                struct stat info {};
                if (::fstatat(::dirfd(dir.Get()), item->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
                    type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
                }
            }
            entry.isFolder = type == DT_DIR;
            entry.isLink = type == DT_LNK;
            entries.push_back(std::move(entry));
        }
        return true;
    }

    bool RemoveFile(const std::wstring& path) override {
        std::string native;
        return ToNative(path, native) && ::unlink(native.c_str()) == 0;
    }

    bool RemoveFolder(const std::wstring& path) override {
        std::string native;
        if (!ToNative(path, native)) return false;
        if (::rmdir(native.c_str()) == 0) return true;
        // rmdir refuses a link with ENOTDIR: left in place, the next unpack would go through it.
        struct stat info {};
        return errno == ENOTDIR && ::lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
               ::unlink(native.c_str()) == 0;
    }

    void AllowChanges(const std::wstring& folder) override {
        std::string native;
        if (!ToNative(folder, native)) return;
        struct stat info {};
        if (::lstat(native.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return;
        if ((info.st_mode & S_IRWXU) == S_IRWXU || info.st_uid != ::geteuid()) return;
        ::chmod(native.c_str(), (info.st_mode & 07777) | S_IRWXU);
    }

    bool MakeFolder(const std::wstring& path) override {
        std::string native;
        if (!ToNative(path, native)) return false;
        if (::mkdir(native.c_str(), 0700) == 0) return true;
        struct stat info {};
        return errno == EEXIST && ::lstat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
};

}  // namespace

StagingFiles& SystemStagingFiles() {
    static PosixStagingFiles files;
    return files;
}

}  // namespace kivrel
