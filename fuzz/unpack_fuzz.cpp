// Archives come from the server and are unpacked in this process. Whatever the bytes, the
// unpack ends, writes nothing outside the extract folder, and leaves in it only plain files
// and folders that only the owner may use; the entry names it accepts stay below the folder.

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/native_path.h"
#include "update/archive_unpack.h"
#include "update/folder_tree.h"

namespace {

// The extract folder lies two folders down, so that an entry climbing out by one or two
// levels shows as a stranger next to it. Removed when the program ends.
class SandboxFolder {
public:
    SandboxFolder() {
        char pattern[] = "/tmp/kivrel-fuzz-unpack-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) __builtin_trap();
        path = pattern;
        if (::mkdir((path + "/one").c_str(), 0700) != 0 ||
            ::mkdir((path + "/one/two").c_str(), 0700) != 0) {
            __builtin_trap();
        }
    }
    ~SandboxFolder() {
        ::rmdir((path + "/one/two").c_str());
        ::rmdir((path + "/one").c_str());
        ::rmdir(path.c_str());
    }
    SandboxFolder(const SandboxFolder&) = delete;
    SandboxFolder& operator=(const SandboxFolder&) = delete;

    std::string path;
};

const std::string& Sandbox() {
    static const SandboxFolder folder;
    return folder.path;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) __builtin_trap();
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(listing);
    return names;
}

void CheckOnly(const std::string& folder, std::string_view allowed) {
    for (const std::string& name : Names(folder)) {
        if (name != allowed) __builtin_trap();
    }
}

// Plain files with mode 0600 and folders with mode 0700, nothing else.
void CheckTree(const std::string& folder) {
    for (const std::string& name : Names(folder)) {
        const std::string path = folder + "/" + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) __builtin_trap();
        if (S_ISDIR(info.st_mode)) {
            if ((info.st_mode & 07777) != 0700) __builtin_trap();
            CheckTree(path);
        } else if (!S_ISREG(info.st_mode) || (info.st_mode & 07777) != 0600) {
            __builtin_trap();
        }
    }
}

void CheckEntryPath(std::string_view name) {
    std::vector<std::string> parts;
    if (!kivrel::SplitArchiveEntryPath(name, parts)) return;  // refusing is always allowed
    if (name.empty() || name.front() == '/' || name.front() == '\\') __builtin_trap();
    for (const std::string& part : parts) {
        if (part.empty() || part == "." || part == ".." ||
            part.find_first_of("/\\") != std::string::npos) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckEntryPath({reinterpret_cast<const char*>(data), size});

    const std::string two = Sandbox() + "/one/two";
    const std::string extract = two + "/TmpTmp";
    const std::wstring wideExtract = kivrel::WideFromNative(extract);
    const std::atomic<std::int32_t> noStop{0};
    kivrel::UnpackLimits limits;
    limits.totalBytes = 16 << 20;
    limits.entries = 1000;
    limits.time = std::chrono::seconds(10);
    static_cast<void>(kivrel::UnpackArchive({data, size}, wideExtract, noStop, limits));

    CheckOnly(Sandbox(), "one");
    CheckOnly(Sandbox() + "/one", "two");
    CheckOnly(two, "TmpTmp");
    struct stat info {};
    if (::lstat(extract.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) __builtin_trap();
        CheckTree(extract);
    }
    kivrel::DeleteFolderTree(wideExtract);
    if (::lstat(extract.c_str(), &info) == 0) __builtin_trap();
    return 0;
}
