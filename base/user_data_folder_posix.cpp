// A private folder below the user's data folder: it holds a unit's settings, which may include
// an APN password, so no other user may read it.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

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

// $XDG_DATA_HOME when it is an absolute path (others are to be ignored), else ~/.local/share.
[[nodiscard]] std::string DataBase() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        return data;
    }
    const std::string home = HomeFolder();
    return home.empty() ? std::string{} : home + "/.local/share";
}

// Creates each missing folder of `path` (0700), as mkdir -p would.
[[nodiscard]] bool MakeFolders(const std::string& path, std::wstring& whyNot) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            whyNot = Utf8ToWide("Cannot create " + part + ": " + std::strerror(errno));
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

// A plain folder of this user that no one else may read or write.
[[nodiscard]] bool PrivateFolder(const std::string& folder, std::wstring& whyNot) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        whyNot = Utf8ToWide("Cannot examine " + folder + ": " + std::strerror(errno));
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

std::wstring UserDataFolder(std::wstring& whyNot) {
    const std::string base = DataBase();
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
        whyNot = Utf8ToWide("Cannot create " + path + ": " + std::strerror(errno));
        return {};
    }
    if (!PrivateFolder(path, whyNot)) return {};
    return Utf8ToWide(path + "/");
}

}  // namespace kivrel
