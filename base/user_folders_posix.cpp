// The per-user folders: a cache folder for downloads and unpacked archives (which end up in a
// unit, so must not pass through a place another user can write or link), and a data folder
// for what is kept of a unit (its settings may hold an APN password, so no one else may read
// it). Both are private: this user's, mode 0700, no link.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/temp_folder.h"
#include "base/text.h"
#include "base/user_data_folder.h"

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

// $NAME when it is an absolute path (others are to be ignored), else `fallback` below home.
[[nodiscard]] std::string XdgBase(const char* name, const char* fallback) {
    if (const char* base = std::getenv(name); base != nullptr && base[0] == '/') return base;
    const std::string home = HomeFolder();
    return home.empty() ? std::string{} : home + fallback;
}

[[nodiscard]] std::wstring ErrnoText(const std::string& what, const std::string& path, int error) {
    return Utf8ToWide(what + " " + path + ": " + std::strerror(error));
}

// Creates each missing folder of `path` (0700), as mkdir -p would: a fresh account may have no
// ~/.local yet.
[[nodiscard]] bool MakeFolders(const std::string& path, std::wstring& whyNot) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            whyNot = ErrnoText("Cannot create", part, errno);
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

// A plain folder of this user that no one else may read or write.
[[nodiscard]] bool PrivateFolder(const std::string& folder, std::wstring& whyNot) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        whyNot = ErrnoText("Cannot examine", folder, errno);
        return false;
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        whyNot = Utf8ToWide("Refusing to use " + folder + ": it is not a plain folder.");
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        whyNot = Utf8ToWide("Refusing to use " + folder + ": it belongs to another user.");
        return false;
    }
    if ((info.st_mode & 0077) != 0) {
        whyNot = Utf8ToWide("Refusing to use " + folder +
                            ": others may write or read it (it must have mode 0700).");
        return false;
    }
    return true;
}

}  // namespace

std::wstring TempFolder(std::wstring& whyNot) {
    const std::string base = XdgBase("XDG_CACHE_HOME", "/.cache");
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
    if (!PrivateFolder(folder, whyNot)) return {};
    return Utf8ToWide(folder + "/");
}

std::wstring TempFolder() {
    std::wstring whyNot;
    return TempFolder(whyNot);
}

std::wstring UserDataFolder(std::wstring& whyNot) {
    const std::string base = XdgBase("XDG_DATA_HOME", "/.local/share");
    if (base.empty()) {
        whyNot = L"No home folder to keep the tool's records in (HOME is not set).";
        return {};
    }
    const std::string folder = base + "/kivrel";
    if (!MakeFolders(folder, whyNot) || !PrivateFolder(folder, whyNot)) return {};
    return Utf8ToWide(folder + "/");
}

std::wstring UserDataSubfolder(const std::wstring& folder, const std::wstring& name,
                               std::wstring& whyNot) {
    const std::string path = WideToUtf8(folder + name);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        whyNot = ErrnoText("Cannot create", path, errno);
        return {};
    }
    if (!PrivateFolder(path, whyNot)) return {};
    return Utf8ToWide(path + "/");
}

}  // namespace kivrel
