#pragma once
// Free space on the disk holding a folder, so work that writes a lot (a download and its
// unpacked files) can refuse to start rather than fill the disk half way.

#include <cstdint>
#include <optional>
#include <string>

namespace kivrel {

// Bytes an ordinary user may still write on the file system holding `folder` (statvfs's
// f_bavail, GetDiskFreeSpaceExW's caller-available bytes); nullopt when it cannot be told.
using FreeSpaceQuery = std::optional<std::uint64_t> (*)(const std::wstring& folder);

// The system's answer, or that of the query set by SetFreeSpaceQuery.
[[nodiscard]] std::optional<std::uint64_t> FreeDiskSpace(const std::wstring& folder);
// Replaces the system's query, for tests that need a full disk; null puts it back.
void SetFreeSpaceQuery(FreeSpaceQuery query) noexcept;

// The system's own query; one per platform.
[[nodiscard]] std::optional<std::uint64_t> SystemFreeDiskSpace(const std::wstring& folder);

}  // namespace kivrel
