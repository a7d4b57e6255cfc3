#pragma once
// Archive downloads that survive an interruption. The bytes go to "<archive>.part" beside the
// archive, and "<archive>.part.info" records where they came from: the address, the server's
// validator (a strong ETag, else Last-Modified) and the whole file's length. The next run for
// the same address resumes with Range and If-Range, so the server itself confirms that the
// file has not changed; it answers 200 with the whole file when it has, and the part is then
// rewritten from the start. A part without a usable record is never resumed.
//
// How an update run uses it:
//     PartialDownload partial = PreparePartialDownload(archivePath, url);
//     downloader.SetParameters(owner, url, partial.partPath, ..., partial.resumeOffset);
//     downloader.KeepPartialFile(partial);
//     std::wstring error = downloader.Start(true);
//     if (error.empty() && downloader.Result().code == 0) CompletePartialDownload(partial);

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivrel {

// What "<archive>.part.info" holds.
struct PartialRecord {
    std::string url;        // UTF-8
    std::string validator;  // the If-Range value: a quoted ETag or an HTTP date
    std::uint64_t length = 0;

    friend bool operator==(const PartialRecord&, const PartialRecord&) = default;
};
[[nodiscard]] std::string WritePartialRecord(const PartialRecord& record);
// Refuses text that WritePartialRecord could not have written (bad header line, unknown or
// repeated keys, an empty url or validator, a length of 0, control characters).
[[nodiscard]] std::optional<PartialRecord> ParsePartialRecord(std::string_view text);

struct PartialDownload {
    std::wstring url;
    std::wstring archivePath;          // where the finished file goes
    std::wstring partPath;             // archivePath + ".part": what the downloader writes
    std::wstring recordPath;           // archivePath + ".part.info"
    std::uint32_t resumeOffset = 0;    // bytes of the part to keep; 0 starts afresh
    std::string validator;             // sent as If-Range when resuming
    std::uint64_t recordedLength = 0;  // the whole file's length, when resuming
};

// Looks at what an earlier run left. The part is resumed only when its record parses, names
// the same address, and the part is shorter than the recorded length (and under 4 GiB);
// otherwise the part and its record are deleted and the download starts at 0.
[[nodiscard]] PartialDownload PreparePartialDownload(const std::wstring& archivePath,
                                                     const std::wstring& url);

// After a download that ended with result 0: moves the part to the archive path and deletes
// the record. Returns 0 or the OS error code of the move.
[[nodiscard]] std::uint32_t CompletePartialDownload(const PartialDownload& partial);

// Deletes the part and its record.
void DiscardPartialDownload(const PartialDownload& partial);

}  // namespace kivrel
