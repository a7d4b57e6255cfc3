#include <sys/statvfs.h>

#include "base/disk_space.h"
#include "base/native_path.h"

namespace kivrel {

std::optional<std::uint64_t> SystemFreeDiskSpace(const std::wstring& folder) {
    std::string native;
    if (!NativeFromWide(folder, native)) return std::nullopt;
    struct statvfs info {};
    if (::statvfs(native.c_str(), &info) != 0) return std::nullopt;
    // f_bavail leaves out the blocks kept for root, which this tool never writes as.
    return std::uint64_t{info.f_bavail} * info.f_frsize;
}

}  // namespace kivrel
