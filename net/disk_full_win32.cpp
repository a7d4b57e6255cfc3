#include <windows.h>

#include "net/disk_full.h"

namespace kivrel {

bool IsDiskFullError(std::uint32_t osError) noexcept {
    return osError == ERROR_DISK_FULL || osError == ERROR_HANDLE_DISK_FULL;
}

std::uint32_t DiskFullError() noexcept {
    return ERROR_DISK_FULL;
}

}  // namespace kivrel
