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

// The system's own query; one per platform. Callers that are tested on a full disk take a
// FreeSpaceQuery from their owner instead.
[[nodiscard]] std::optional<std::uint64_t> SystemFreeDiskSpace(const std::wstring& folder);

}  // namespace kivrel
