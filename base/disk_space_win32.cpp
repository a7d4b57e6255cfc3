#include <windows.h>

#include "base/disk_space.h"

namespace kivrel {

std::optional<std::uint64_t> SystemFreeDiskSpace(const std::wstring& folder) {
    ULARGE_INTEGER available{};
    // The caller's share: disk quotas count, as they would for the files written.
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return available.QuadPart;
}

}  // namespace kivrel
