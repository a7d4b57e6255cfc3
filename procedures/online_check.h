#pragma once
// The online version check as both programs run it: which address to look at for a unit, the
// version file fetched into the temp folder (within its bounds), what it says, and whether it
// may be believed (signed by the vendor's keys or one given for the run). The window fetches on the
// downloader's own thread and reads the file when the download has finished; the command
// line does both at once (CheckOnlineVersion).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/event_sink.h"
#include "net/version_trust.h"

namespace kivrel {

class CHttpDownload;
struct NetworkSettings;
struct VendorConfig;

enum class OnlineSourceKind {
    kNone,         // no address: no rule of the vendor table holds for the unit
    kArchive,      // the address is the database archive itself
    kVersionFile,  // the address is a version file naming the newest database
};

struct OnlineSource {
    OnlineSourceKind kind = OnlineSourceKind::kNone;
    std::wstring address;
};

// `overrideAddress` when given (a command-line option), else the address of the first rule
// of the vendor table that holds for the unit's identity block and the tool's tag.
[[nodiscard]] OnlineSource ChooseOnlineSource(std::span<const std::uint8_t> identity,
                                              const VendorConfig& vendor,
                                              std::wstring_view overrideAddress = {});

// Where the version file goes, or why there is no such folder.
struct TempFolderChoice {
    std::wstring folder;   // ends in a separator; empty when there is none
    std::wstring problem;  // why, when `folder` is empty
};

// Starts fetching the version file at `address` into the temp folder, reporting to `sink` (the
// window's transfer, or the command line's). Synchronous: the transfer has run when this
// returns. Returns an error text, empty when the transfer started.
[[nodiscard]] std::wstring StartVersionFetch(CHttpDownload& downloader, EventSink* sink,
                                             const std::wstring& address,
                                             const TempFolderChoice& temp, bool synchronous);

// What the version file announced, and whether to believe it.
struct AnnouncedDatabase {
    std::int32_t version = 0;  // yyyymmdd; 0 when the address was the archive itself
    std::wstring archiveUrl;
    std::string versionText;  // line 1 of the file, for "Internet vesion:"
    // Signed or not, what it says of the archive (its size and sha256, which the download must
    // match), or, refused, why (`refusal`, and `cause` for the line after it).
    VersionVerdict verdict;
};

// The verdict on an address that names the archive itself: no version file signs it, so a
// keyed policy refuses it. Empty on success (`found` takes the address), else the text.
[[nodiscard]] std::wstring TakeArchiveAddress(const std::wstring& address,
                                              const VersionTrustPolicy& policy,
                                              AnnouncedDatabase& found);

// Reads the fetched version file (and removes it) once its download ended with `result`, and
// judges it by `policy`. Empty on success, else the text to show: kTextAccessFailed when the
// download did not complete or the file does not read, the verdict's refusal when it may not
// be believed (`found.verdict.cause` then says why).
[[nodiscard]] std::wstring ReadFetchedVersion(DownloadResultCode result,
                                              const TempFolderChoice& temp,
                                              const VersionTrustPolicy& policy,
                                              AnnouncedDatabase& found);

// The whole check on this thread, for the command line: the address for the unit, the
// version file fetched, read and judged. Returns the text to show on failure, empty on
// success. `searching` is called before the fetch, to show kTextSearchingVersion.
[[nodiscard]] std::wstring CheckOnlineVersion(
    std::span<const std::uint8_t> identity, const VendorConfig& vendor,
    std::wstring_view overrideAddress, const VersionTrustPolicy& policy,
    const NetworkSettings& network, const TempFolderChoice& temp,
    void (*searching)(std::wstring_view), AnnouncedDatabase& found);

// The command line's text when no address is known for the unit.
inline constexpr std::wstring_view kTextNoOnlineSource =
    L"No online database is known for this unit; give --version-url.";

}  // namespace kivrel
