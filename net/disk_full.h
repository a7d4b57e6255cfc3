#pragma once
// Telling a write that failed for want of space from other write errors, in the OS's own
// codes (GetLastError() or errno). One implementation per platform.

#include <cstdint>

namespace kivrel {

[[nodiscard]] bool IsDiskFullError(std::uint32_t osError) noexcept;
// The code a full disk reports (ERROR_DISK_FULL, ENOSPC).
[[nodiscard]] std::uint32_t DiskFullError() noexcept;

}  // namespace kivrel
