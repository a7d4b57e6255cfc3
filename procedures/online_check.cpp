#include "procedures/online_check.h"

#include "net/archive_check.h"
#include "net/http_download.h"
#include "net/version_check.h"
#include "package/vendor_config.h"

namespace kivrel {
namespace {

// Keeps how the version file's download ended, for a fetch on this thread.
class FetchEndSink : public NullEventSink {
public:
    void DownloadFinished(std::uint32_t result, std::uint32_t) override {
        end = ToDownloadResultCode(result);
    }
    DownloadResultCode end = DownloadResultCode::kCancelled;
};

}  // namespace

OnlineSource ChooseOnlineSource(std::span<const std::uint8_t> identity, const VendorConfig& vendor,
                                std::wstring_view overrideAddress) {
    OnlineSource source;
    source.address = overrideAddress.empty()
                         ? SelectVersionFileUrl(identity, vendor.toolTag, vendor.versionSources)
                         : std::wstring(overrideAddress);
    if (source.address.empty()) {
        source.kind = OnlineSourceKind::kNone;
    } else if (IsArchiveAddress(source.address)) {
        source.kind = OnlineSourceKind::kArchive;
    } else {
        source.kind = OnlineSourceKind::kVersionFile;
    }
    return source;
}

std::wstring StartVersionFetch(CHttpDownload& downloader, EventSink* sink,
                               const std::wstring& address, const TempFolderChoice& temp,
                               bool synchronous) {
    if (temp.folder.empty()) return temp.problem;
    downloader.SetParameters(sink, address, temp.folder + std::wstring(kVersionFileName), L"", L"",
                             L"", L"", L"", 0, 0, 0, 0, 0.0, 0);
    downloader.SetBounds(kVersionFileBounds);
    return downloader.Start(synchronous);
}

std::wstring TakeArchiveAddress(const std::wstring& address, const VersionTrustPolicy& policy,
                                AnnouncedDatabase& found) {
    found = {};
    found.verdict = CheckArchiveAddress(policy);
    if (found.verdict.trust == VersionTrust::kRefused) return found.verdict.refusal;
    found.archiveUrl = address;
    return {};
}

std::wstring ReadFetchedVersion(DownloadResultCode result, const TempFolderChoice& temp,
                                const VersionTrustPolicy& policy, AnnouncedDatabase& found) {
    found = {};
    if (result != DownloadResultCode::kComplete) return std::wstring(kTextAccessFailed);
    const auto parsed = ParseVersionFile(temp.folder + std::wstring(kVersionFileName));
    if (!parsed) return std::wstring(kTextAccessFailed);
    // Nothing of a file that may not be believed is taken, not even its address.
    found.verdict = CheckVersionFile(*parsed, policy);
    if (found.verdict.trust == VersionTrust::kRefused) return found.verdict.refusal;
    found.version = parsed->version;
    found.archiveUrl = parsed->archiveUrl;
    found.versionText = parsed->firstLine;
    return {};
}

std::wstring CheckOnlineVersion(std::span<const std::uint8_t> identity, const VendorConfig& vendor,
                                std::wstring_view overrideAddress, const VersionTrustPolicy& policy,
                                const NetworkSettings& network, const TempFolderChoice& temp,
                                void (*searching)(std::wstring_view), AnnouncedDatabase& found) {
    const OnlineSource source = ChooseOnlineSource(identity, vendor, overrideAddress);
    switch (source.kind) {
        case OnlineSourceKind::kNone:
            return std::wstring(kTextNoOnlineSource);
        case OnlineSourceKind::kArchive:
            return TakeArchiveAddress(source.address, policy, found);
        case OnlineSourceKind::kVersionFile:
            break;
    }
    if (temp.folder.empty()) return temp.problem;
    if (searching != nullptr) searching(kTextSearchingVersion);
    FetchEndSink sink;
    CHttpDownload downloader;
    downloader.SetNetworkSettings(network);
    if (std::wstring error = StartVersionFetch(downloader, &sink, source.address, temp, true);
        !error.empty()) {
        return error;
    }
    return ReadFetchedVersion(sink.end, temp, policy, found);
}

}  // namespace kivrel
