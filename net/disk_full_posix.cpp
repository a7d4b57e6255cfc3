#include <cerrno>

#include "net/disk_full.h"

namespace kivrel {

bool IsDiskFullError(std::uint32_t osError) noexcept {
    return osError == ENOSPC || osError == EDQUOT;
}

std::uint32_t DiskFullError() noexcept {
    return ENOSPC;
}

}  // namespace kivrel
