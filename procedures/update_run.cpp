#include "procedures/update_run.h"

#include <algorithm>
#include <new>
#include <thread>

#include "base/byte_sum.h"
#include "base/event_sink.h"
#include "base/gbk_text.h"
#include "base/prompts.h"
#include "base/text.h"
#include "device/gps_unit.h"
#include "net/archive_check.h"
#include "net/http_download.h"
#include "net/partial_download.h"
#include "package/package_source.h"
#include "package/regional_database.h"
#include "package/update_package.h"
#include "package/vendor_check.h"
#include "package/vendor_config.h"
#include "update/archive_names.h"
#include "update/archivers.h"
#include "update/folder_tree.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"
#include "update/update_file_search.h"

namespace kivrel {
namespace {

constexpr std::wstring_view kTextUnsafeArchiveName =
    L"The database address does not name a plain archive file; the download was refused!";
constexpr std::wstring_view kCauseNotAnUpdateFile =
    L"It is not an update file, or it is damaged: nothing a unit can take was found in it. "
    L"Get the file again.";

// The name of a file without its folders: what a record or a message may show of a path.
std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The vendor tag at the start of an identity block, as text: up to its first zero, without
// trailing blanks or erased bytes.
std::wstring VendorTagText(std::span<const std::uint8_t> identity) {
    constexpr std::size_t kTagBytes = 16;
    auto tag = identity.first(std::min(kTagBytes, identity.size()));
    tag = tag.first(static_cast<std::size_t>(std::find(tag.begin(), tag.end(), 0) - tag.begin()));
    while (!tag.empty() && (tag.back() == ' ' || tag.back() == 0xFF))
        tag = tag.first(tag.size() - 1);
    return Utf8ToWide(GbkToUtf8(tag));
}

// The state of one run, released when it ends.
class Run {
public:
    Run(UpdateRunShared& shared, UpdateRunServices& services)
        : shared(shared), services(services) {}

    UpdateRunOutcome Go();

private:
    // Each step returns false when the run goes on to its end with `errorText` set.
    bool Download();
    bool Unpack();
    bool Load();
    // False when the user abandoned the province choice.
    bool ChooseProvinces(bool& failed);
    void Transfer();
    void PlanOnly();
    void End();
    void Fail(std::wstring_view text, std::wstring folder = {}) {
        errorText = text;
        folderToShow = std::move(folder);
    }

    UpdateRunShared& shared;
    UpdateRunServices& services;

    std::wstring updateFilePath;
    std::wstring errorText;
    std::wstring stagingFolder;
    std::wstring archivePath;
    std::wstring extractFolder;
    std::wstring folderToShow;
    std::wstring errorCause;
    UpdatePackage package;
    bool endUnconfirmed = false;
    std::optional<UpdateFileFacts> file;
    std::optional<UpdatePlan> plan;
};

UpdateRunOutcome Run::Go() {
    UpdateRunOutcome outcome;
    package.Release();
    services.view.EnableButtons(false);
    try {
        bool ready = false;
        if (!shared.localFilePath.empty()) {
            updateFilePath = shared.localFilePath;
            ready = true;
        } else if (shared.archiveUrl.empty()) {
            Fail(kTextOpenFailed);
        } else {
            ready = Download() && Unpack();
        }
        if (ready && Load()) {
            bool failed = false;
            if (!ChooseProvinces(failed)) {
                // Abandoned quietly: no box, and nothing deleted.
                services.view.EnableButtons(true);
                services.view.RunFinished();
                package.Release();
                outcome.cancelled = true;
                return outcome;
            }
            if (!failed && shared.dryRun) PlanOnly();
            if (!failed && !shared.dryRun) Transfer();
        }
    } catch (const std::bad_alloc&) {
        // The worker is the last line: out of memory ends this run, not the tool.
        if (errorText.empty()) Fail(kTextUpdateFailed);
    }
    End();
    outcome.succeeded = errorText.empty();
    outcome.unitSilentAtEnd = outcome.succeeded && endUnconfirmed;
    outcome.errorText = errorText;
    outcome.errorCause = errorCause;
    outcome.folderShown = folderToShow;
    outcome.file = std::move(file);
    outcome.plan = std::move(plan);
    return outcome;
}

bool Run::Download() {
    const std::wstring archiveName(ArchiveNameFromUrl(shared.archiveUrl));
    // The name comes from a server: it must name a file inside the staging folder.
    if (!IsSafeArchiveName(archiveName)) {
        Fail(kTextUnsafeArchiveName);
        return false;
    }
    if (services.tempFolder.empty()) {
        Fail(services.tempFolderProblem.empty() ? std::wstring(kTextDownloadFailed)
                                                : services.tempFolderProblem);
        return false;
    }
    if (!MakeStagingFolderPath(services.tempFolder, BaseNameOf(archiveName), stagingFolder)) {
        Fail(kTextDownloadFailed);
        return false;
    }
    services.files.MakeFolder(stagingFolder);  // an existing folder is fine
    archivePath = JoinPath(stagingFolder, archiveName);
    extractFolder = JoinPath(stagingFolder, kExtractFolderName);

    // A finished archive from an earlier run is fetched again; an interrupted one resumes.
    services.files.RemoveFile(archivePath);
    const PartialDownload partial = PreparePartialDownload(archivePath, shared.archiveUrl);

    shared.SetDownloadErrorText({});
    CHttpDownload& downloader = services.downloader;
    downloader.SetParameters(&services.events, shared.archiveUrl, partial.partPath, L"", L"", L"",
                             L"", L"", 0, 0, 0, 0, 0.0, partial.resumeOffset);
    downloader.KeepPartialFile(partial);
    downloader.SetBounds(
        ArchiveTransferBounds(services.unit.capacity, shared.announcedArchive, services.freeSpace));
    const std::wstring startError = downloader.Start(true);
    if (!startError.empty()) {
        Fail(startError);
        return false;
    }
    std::this_thread::sleep_for(services.afterDownload);
    const std::wstring refusal =
        ArchiveDownloadRefusal(downloader, shared.announcedArchive, errorCause);
    if (!refusal.empty()) {
        Fail(refusal);
        return false;
    }
    if (const std::wstring windowText = shared.DownloadErrorText(); !windowText.empty()) {
        Fail(windowText);
        return false;
    }
    // The owner learns of a failed download from a posted message, which it may not have
    // handled yet; the downloader's own result is known now.
    if (downloader.Result().code != 0) {
        Fail(kTextDownloadFailed);
        return false;
    }
    if (CompletePartialDownload(partial) != 0) {
        Fail(kTextDownloadFailed);
        return false;
    }
    // Before anything is unpacked: the archive must be the one the version file announced.
    if (const std::wstring other =
            CheckAnnouncedArchive(archivePath, shared.announcedArchive, errorCause);
        !other.empty()) {
        services.files.RemoveFile(archivePath);
        Fail(other);
        return false;
    }
    return true;
}

bool Run::Unpack() {
    services.view.SetProgressPosition(0);
    if (ArchiveTypeOf(archivePath) == ArchiveType::None) {
        Fail(kTextNoUpdateFile, stagingFolder);
        return false;
    }
    services.view.SetProgressText(kTextDecompressing);
    // Files left by an earlier run that never reached its end must not be taken for this
    // archive's.
    DeleteFolderTree(extractFolder, services.files);
    std::wstring executable;
    std::wstring arguments;
    if (!services.archivers.FindArchiver(extractFolder, archivePath, executable, arguments)) {
        Fail(kTextNoArchiver, stagingFolder);
        return false;
    }
    // Whether the archiver worked shows in what it left behind, unless it had to be ended or
    // its archive was refused: then nothing it left is used.
    std::uint32_t exitCode = 0;
    const bool ran =
        services.archivers.RunArchiver(arguments, executable, exitCode, shared.stopRequested);
    // The owner is closing: what was unpacked may be cut short, so nothing of it is written.
    // The error stays unshown while the owner closes.
    if (shared.stopRequested.load(std::memory_order_relaxed) != 0) {
        Fail(kTextNoUpdateFile);
        return false;
    }
    if (!ran && (exitCode == kArchiverEnded || exitCode == kArchiverRefused)) {
        Fail(exitCode == kArchiverEnded ? kTextArchiverTimedOut : kTextArchiveUnsafe,
             stagingFolder);
        return false;
    }
    std::this_thread::sleep_for(services.afterArchiver);
    if (!HoldsOnlyPlainEntries(extractFolder, services.files)) {
        Fail(kTextArchiveUnsafe, stagingFolder);
        return false;
    }
    std::wstring found;
    (void)FindUpdateFile(extractFolder, true, found, services.files);
    if (found.empty()) {
        Fail(kTextNoUpdateFile, stagingFolder);
        return false;
    }
    updateFilePath = found;
    return true;
}

bool Run::Load() {
    bool loaded = false;
    if (shared.loadedPackage && updateFilePath == shared.localFilePath) {
        package = std::move(*shared.loadedPackage);
        shared.loadedPackage.reset();
        loaded = true;
    } else {
        loaded = LoadUpdateFile(package, updateFilePath, services.vendor, errorCause);
    }
    if (loaded) {
        if (shared.wantFileFacts) file = UpdateFileFactsOf(updateFilePath);
        return true;
    }
    if (!archivePath.empty()) {
        services.files.RemoveFile(archivePath);
        archivePath.clear();
        if (!extractFolder.empty()) DeleteFolderTree(extractFolder, services.files);
    }
    Fail(kTextOpenFailed);
    return false;
}

bool Run::ChooseProvinces(bool& failed) {
    if (!package.HasProvinceTable()) return true;
    if (services.events.AskProvinces() != 0) return false;
    if (shared.provinceMode != 0 && !BuildRegionalDatabase(package, shared.provinceFlags)) {
        Fail(kTextOpenFailed);
        failed = true;
    }
    return true;
}

void Run::PlanOnly() {
    plan = services.unit.PlanUpdate(package);
    if (plan->result == WriteResult::kDoesNotFit) {
        Fail(kTextDoesNotFit);
    } else if (plan->result != WriteResult::kWritten) {
        Fail(kTextUpdateFailed);
    }
}

void Run::Transfer() {
    CGpsUnit& unit = services.unit;
    plan.emplace();
    switch (unit.WriteUpdate(package, &*plan)) {
        case WriteResult::kWritten:
            // The data is in; the steps after it only tidy up, and their outcome is not the
            // update's.
            endUnconfirmed = !unit.ReadingFault().empty();
            if (!KeepsSettingsAfterUpdate(services.vendor) && !unit.EraseSettingsSector()) {
                endUnconfirmed = true;
            }
            break;
        case WriteResult::kDoesNotFit:
            Fail(kTextDoesNotFit);
            break;
        default:
            Fail(kTextUpdateFailed);
            break;
    }
    services.view.ShowTransferProgress();
    if (errorText.empty() && !(unit.Connected() && unit.FinishUpdate())) endUnconfirmed = true;
}

void Run::End() {
    if (!extractFolder.empty()) DeleteFolderTree(extractFolder, services.files);
    if (errorText.empty()) {
        if (!shared.dryRun) services.prompts.ShowInformation(kTextUpdateSuccess, kToolCaption);
        services.view.EnableButtons(true);
    } else if (shared.stopRequested.load(std::memory_order_relaxed) == 0) {
        services.view.SetProgressText(L"");
        services.view.EnableButtons(true);
        services.prompts.ShowError(errorText);
        if (!folderToShow.empty()) services.view.OpenFolder(folderToShow);
    }
    services.view.RunFinished();
    package.Release();
}

}  // namespace

bool LoadUpdateFile(UpdatePackage& package, const std::wstring& path, const VendorConfig& vendor,
                    std::wstring& cause) {
    FileByteSource source;
    if (!source.Open(path)) {
        package.Release();
        cause = L"The file " + FileNameOf(path) +
                L" cannot be opened for reading: check its name and that you may read it.";
        return false;
    }
    if (!LoadPackage(package, source)) {
        cause = kCauseNotAnUpdateFile;
        return false;
    }
    if (!CheckPackageVendor(package, vendor)) {
        cause = L"It is made for another brand's units (its vendor tag reads \"" +
                VendorTagText(package.identity) +
                L"\"). Use the update file made for your unit's brand.";
        return false;
    }
    return true;
}

std::optional<UpdateFileFacts> UpdateFileFactsOf(const std::wstring& path) {
    FileByteSource source;
    if (!source.Open(path)) return std::nullopt;
    UpdateFileFacts facts;
    facts.size = source.Size();
    std::vector<std::uint8_t> piece(64 * 1024);
    for (std::uint64_t at = 0; at < facts.size; at += piece.size()) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), facts.size - at));
        if (!source.ReadAt(at, std::span(piece).first(length))) return std::nullopt;
        facts.byteSum += ByteSum(std::span(piece).first(length));  // wraps, as ByteSum does
    }
    facts.name = FileNameOf(path);
    return facts;
}

UpdateRunOutcome UpdateWorker(UpdateRunShared& shared, UpdateRunServices& services) {
    Run run(shared, services);
    return run.Go();
}

}  // namespace kivrel
