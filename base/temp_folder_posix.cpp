// A per-user cache folder: downloads and unpacked archives that end up in a unit must not
// pass through a place another user can write or link.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/temp_folder.h"
#include "base/text.h"

namespace kivrel {
namespace {

[[nodiscard]] std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

// The cache base: $XDG_CACHE_HOME when it is an absolute path (others are to be ignored),
// else ~/.cache.
[[nodiscard]] std::string CacheBase() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') {
        return cache;
    }
    const std::string home = HomeFolder();
    return home.empty() ? std::string{} : home + "/.cache";
}

[[nodiscard]] std::wstring ErrnoText(const std::string& what, const std::string& path, int error) {
    return Utf8ToWide(what + " " + path + ": " + std::strerror(error));
}

}  // namespace

std::wstring TempFolder(std::wstring& whyNot) {
    const std::string base = CacheBase();
    if (base.empty()) {
        whyNot = L"No home folder to keep downloads in (HOME is not set).";
        return {};
    }
    // The parent may be missing on a fresh account; it is private by default too.
    if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
        whyNot = ErrnoText("Cannot create", base, errno);
        return {};
    }
    const std::string folder = base + "/kivrel";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        whyNot = ErrnoText("Cannot create", folder, errno);
        return {};
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        whyNot = ErrnoText("Cannot examine", folder, errno);
        return {};
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        whyNot = Utf8ToWide("Refusing to use " + folder + ": it is not a plain folder.");
        return {};
    }
    if (info.st_uid != ::geteuid()) {
        whyNot = Utf8ToWide("Refusing to use " + folder + ": it belongs to another user.");
        return {};
    }
    if ((info.st_mode & 0077) != 0) {
        whyNot = Utf8ToWide("Refusing to use " + folder +
                            ": others may write or read it (it must have mode 0700).");
        return {};
    }
    return Utf8ToWide(folder + "/");
}

std::wstring TempFolder() {
    std::wstring whyNot;
    return TempFolder(whyNot);
}

}  // namespace kivrel
