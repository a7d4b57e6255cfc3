#pragma once
// Linux and macOS only: unpacking a downloaded archive in this process with libarchive. Zip,
// 7z and RAR (4 and 5) are read; nothing else. The archive comes from a server, so every entry
// is untrusted: entries that would land outside the destination folder (absolute paths, ".."
// components), links of either kind, and devices, fifos and sockets are refused; files get
// the owner's read and write permission only and folders the owner's access only, whatever the
// archive says; nothing already in the destination folder is followed or written through; and
// the whole unpack is bounded in size, entries and time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "update/archivers.h"

namespace kivrel {

// The most an archive may unpack to, counting every byte decompressed, written or not. An
// update file's sections are at most about 16 MiB each, so 1 GiB leaves ample room for a
// database archive, while a decompression bomb cannot fill the disk.
inline constexpr std::uint64_t kMaxUnpackedBytes = std::uint64_t{1} << 30;
// The most entries an archive may hold; a database archive holds a handful.
inline constexpr std::uint32_t kMaxUnpackedEntries = 10000;

struct UnpackLimits {
    std::uint64_t totalBytes = kMaxUnpackedBytes;
    std::uint32_t entries = kMaxUnpackedEntries;
    std::chrono::milliseconds time{kArchiverWaitLimitMs};
};

// How an unpack ended, worst last; RunArchiver reports the value as the exit code.
enum class UnpackResult : std::uint32_t {
    Complete = 0,    // every entry unpacked
    Incomplete = 1,  // some entries were refused or unreadable and left out; the rest unpacked
    Failed = 2,      // not a zip, 7z or RAR archive, damaged, or a write failed: stopped there
    OverLimit = 3,   // stopped at the size or entry limit
    Ended = 4,       // stopped because a stop was requested or the time limit passed
};

// Unpacks into `destinationFolder`, which is created (owner only) when missing and must not be
// a link. An entry left out, or one whose data could not be read or written to its end, leaves
// no file behind. Entries too deep for the search and the clean-up to reach (their listing
// pattern past kMaxPatternChars) are left out too. The stop request and the time limit are
// looked at between blocks of data.
[[nodiscard]] UnpackResult UnpackArchive(const std::wstring& archivePath,
                                         const std::wstring& destinationFolder,
                                         const std::atomic<std::int32_t>& stopRequested,
                                         const UnpackLimits& limits = {});
[[nodiscard]] UnpackResult UnpackArchive(std::span<const std::uint8_t> archiveBytes,
                                         const std::wstring& destinationFolder,
                                         const std::atomic<std::int32_t>& stopRequested,
                                         const UnpackLimits& limits = {});

// The unpacker's name and version, as FindArchiver reports it ("libarchive 3.6.2").
[[nodiscard]] std::wstring UnpackerName();

// An entry's name as the folders and file below the destination folder: empty and "."
// components are dropped, and "/" and "\" both separate (archives made on Windows may use
// either). False for a name that would leave the folder: an empty or absolute one, or one with
// a ".." component. An empty result names the destination folder itself.
[[nodiscard]] bool SplitArchiveEntryPath(std::string_view name, std::vector<std::string>& parts);

}  // namespace kivrel
