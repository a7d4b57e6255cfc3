#include "net/archive_check.h"

#include <algorithm>
#include <vector>

#include "package/package_source.h"

namespace kivrel {
namespace {

constexpr std::size_t kHashPiece = 256 * 1024;

[[nodiscard]] std::wstring Megabytes(std::uint64_t bytes) {
    const std::uint64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
    return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" MB";
}

}  // namespace

TransferBounds ArchiveTransferBounds(std::uint32_t capacity, const ArchiveAnnouncement& announced,
                                     FreeSpaceQuery freeSpace) {
    TransferBounds bounds;
    bounds.freeSpace = freeSpace;
    // A unit whose size was never read bounds nothing below the general limit.
    bounds.roomBeyond =
        capacity == 0 ? kMaxDownloadBytes
                      : std::min<std::uint64_t>(2 * std::uint64_t{capacity} + kArchiveSlackBytes,
                                                kMaxDownloadBytes);
    bounds.maxBytes = bounds.roomBeyond;
    if (announced.size) bounds.maxBytes = std::min(bounds.maxBytes, *announced.size);
    return bounds;
}

std::wstring CheckAnnouncedArchive(const std::wstring& path, const ArchiveAnnouncement& announced,
                                   std::wstring& cause) {
    if (!announced.size && !announced.sha256) return {};
    FileByteSource source;
    if (!source.Open(path)) {
        cause = L"The downloaded archive cannot be read back to check it.";
        return std::wstring(kTextNotAnnounced);
    }
    if (announced.size && source.Size() != *announced.size) {
        cause = L"The archive holds " + std::to_wstring(source.Size()) +
                L" bytes; its version file announced " + std::to_wstring(*announced.size) + L".";
        return std::wstring(kTextNotAnnounced);
    }
    if (!announced.sha256) return {};
    Sha256 hash;
    std::vector<std::uint8_t> piece(kHashPiece);
    for (std::uint64_t at = 0; at < source.Size(); at += piece.size()) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), source.Size() - at));
        const std::span<std::uint8_t> part = std::span(piece).first(length);
        if (!source.ReadAt(at, part)) {
            cause = L"The downloaded archive cannot be read back to check it.";
            return std::wstring(kTextNotAnnounced);
        }
        hash.Update(part);
    }
    const auto digest = hash.Finish();
    if (!digest || *digest != *announced.sha256) {
        cause =
            L"Its sha256 is not the one its version file announced: it was changed on the "
            L"way or on the server.";
        return std::wstring(kTextNotAnnounced);
    }
    return {};
}

std::wstring ArchiveDownloadRefusal(const CHttpDownload& downloader,
                                    const ArchiveAnnouncement& announced, std::wstring& cause) {
    switch (downloader.Stop()) {
        case TransferStop::kNone:
            return {};
        case TransferStop::kTimedOut:
            cause = L"The server stopped sending: nothing came for a minute.";
            return {};
        case TransferStop::kDiskFull:
            cause = L"The part downloaded so far was removed.";
            return std::wstring(kTextDiskFull);
        case TransferStop::kTooLarge:
            if (announced.size) {
                cause = L"The server sent more than the " + Megabytes(*announced.size) +
                        L" its version file announced.";
                return std::wstring(kTextNotAnnounced);
            }
            cause = L"The archive is larger than any database this unit can take.";
            return {};
    }
    return {};
}

}  // namespace kivrel
