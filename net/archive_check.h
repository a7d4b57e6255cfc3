#pragma once
// The database archive against what its version file announced, and the bounds its download
// and the version file's get. The update run calls these around the archive's download; the
// version check sets kVersionFileBounds on its own download.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_download.h"
#include "net/version_trust.h"

namespace kivrel {

inline constexpr std::wstring_view kTextDiskFull =
    L"The disk is full: the database could not be downloaded. Free some space and try again.";

// A version file is a few short lines: a minute to fetch it whole, and 64 KiB at most.
inline constexpr TransferBounds kVersionFileBounds{
    std::chrono::seconds(60), std::chrono::seconds(60), kMaxVersionFileBytes, 0};

// Room beyond the unit's two banks that an archive and what it unpacks to may take: the
// update file's index and tables, and the odd text file beside it.
inline constexpr std::uint64_t kArchiveSlackBytes = std::uint64_t{1} << 20;

// The archive for a unit of `capacity` bytes per bank: a minute without a byte at most, no
// larger than the unit's two banks and kArchiveSlackBytes (and kMaxDownloadBytes), nor than
// an announced size; room on the disk for unpacking it as well.
[[nodiscard]] TransferBounds ArchiveTransferBounds(std::uint32_t capacity,
                                                   const ArchiveAnnouncement& announced,
                                                   FreeSpaceQuery freeSpace = nullptr);

// After the download: empty when the file at `path` has the announced size and sha256 (or
// nothing was announced); else kTextNotAnnounced, with `cause` saying what differs.
[[nodiscard]] std::wstring CheckAnnouncedArchive(const std::wstring& path,
                                                 const ArchiveAnnouncement& announced,
                                                 std::wstring& cause);

// A failed archive download the tool ended itself: the text to show instead of the general
// one (kTextDiskFull; kTextNotAnnounced for an archive longer than announced), or empty;
// `cause` says why whenever the tool ended it.
[[nodiscard]] std::wstring ArchiveDownloadRefusal(const CHttpDownload& downloader,
                                                  const ArchiveAnnouncement& announced,
                                                  std::wstring& cause);

}  // namespace kivrel
