#pragma once
// One whole update, as the update worker runs it: take the chosen file, or download the
// newest database archive, unpack it and find the update file in it; load and check the
// file; let the user choose provinces when it has a province table; write it into the unit;
// report the outcome. Portable: the window, the downloader, the archivers and the prompts
// come in through seams, so the command-line tool and the tests run the same procedure.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/disk_space.h"
#include "device/update_plan.h"
#include "net/version_trust.h"
#include "package/province_names.h"
#include "package/update_package.h"

namespace kivrel {

class Archivers;
class CGpsUnit;
class CHttpDownload;
class EventSink;
class Prompts;
class StagingFiles;
struct UpdatePackage;
struct VendorConfig;

// The fields the run shares with its owner (the main window). The owner leaves them alone
// while a run is under way, except `downloadErrorText` (set when an archive download fails)
// and `stopRequested` (set while the owner is closing).
struct UpdateRunShared {
    std::wstring localFilePath;  // non-empty: update from this file, no download
    std::wstring archiveUrl;     // otherwise: the database archive to download
    // What the version file said the archive is; the download must be that.
    ArchiveAnnouncement announcedArchive;
    std::atomic<std::int32_t> stopRequested{0};
    std::int32_t provinceMode = 0;  // 1: only the provinces flagged below
    std::array<std::int32_t, kProvinceCount> provinceFlags{};
    // Plan only: the run goes as far as the plan (file, provinces, plan) and sends the unit
    // nothing; no success message either. The outcome carries the plan.
    bool dryRun = false;
    // The local file, already loaded and checked by an owner that does so before the unit is
    // touched: the run takes it rather than reading the file again.
    std::optional<UpdatePackage> loadedPackage;
    // The owner keeps a record of the run: the outcome names the file, its size and sum (one
    // more read of the whole file).
    bool wantFileFacts = false;

    // Left by the owner's thread when an archive download failed; read by the run's.
    void SetDownloadErrorText(std::wstring text) {
        std::lock_guard lock(downloadErrorMutex);
        downloadErrorText = std::move(text);
    }
    [[nodiscard]] std::wstring DownloadErrorText() const {
        std::lock_guard lock(downloadErrorMutex);
        return downloadErrorText;
    }

private:
    mutable std::mutex downloadErrorMutex;
    std::wstring downloadErrorText;
};

// The owner's controls that the run drives.
class UpdateRunView {
public:
    virtual ~UpdateRunView() = default;
    virtual void EnableButtons(bool enabled) = 0;  // Update, Setting and Open
    virtual void SetProgressText(std::wstring_view text) = 0;
    virtual void SetProgressPosition(std::uint32_t position) = 0;
    // One last refresh of the transfer progress text.
    virtual void ShowTransferProgress() = 0;
    // Shows a folder to the user (the window opens it in the shell).
    virtual void OpenFolder(const std::wstring& folder) = 0;
    // The run has ended, on every path: the owner forgets its worker.
    virtual void RunFinished() = 0;
};

struct UpdateRunServices {
    CGpsUnit& unit;
    CHttpDownload& downloader;
    Archivers& archivers;
    StagingFiles& files;
    // Receives the download's messages, and answers the province question.
    EventSink& events;
    Prompts& prompts;
    UpdateRunView& view;
    const VendorConfig& vendor;
    // The system's temp folder, or the per-user folder the staging folders go in. Empty: the
    // run cannot download, and `tempFolderProblem` says why.
    std::wstring tempFolder{};
    std::wstring tempFolderProblem{};
    // Pauses the run makes for the owner and the archiver; tests shorten them.
    std::chrono::milliseconds afterDownload{50};
    std::chrono::milliseconds afterArchiver{500};
    // How the archive's download asks for free space; null: the system's.
    FreeSpaceQuery freeSpace = nullptr;
};

// The run's texts, exactly as the user sees them.
inline constexpr std::wstring_view kTextUpdateSuccess = L"Update Successfully!";
inline constexpr std::wstring_view kTextOpenFailed = L"Open update file failed!";
inline constexpr std::wstring_view kTextUpdateFailed = L"Update Failed!";
inline constexpr std::wstring_view kTextDoesNotFit = L"Error";
inline constexpr std::wstring_view kTextNoUpdateFile = L"Can not Find Update File!";
inline constexpr std::wstring_view kTextNoArchiver =
    L"Didn't find the decompression tool.(Support only \u2018WinRar/7zip/Haozip\u2019)Please "
    L"decompression and update manually!";
inline constexpr std::wstring_view kTextDecompressing = L"Decompressing database\u2026";
inline constexpr std::wstring_view kTextDownloadFailed = L"Error! Please update by local file!";

// The update file a run loaded: its name (never its folder), size and byte sum, so a record
// of the run names the file without naming the user's folders.
struct UpdateFileFacts {
    std::wstring name;
    std::uint64_t size = 0;
    std::uint32_t byteSum = 0;
};

// How a run ended, for callers that want more than the message box (the command line).
struct UpdateRunOutcome {
    bool succeeded = false;
    bool cancelled = false;  // the province choice was abandoned: no message was shown
    // Written, but the unit did not answer what follows the data (the reading again, the
    // settings erase, the closing command): the run still succeeded, as the window says.
    bool unitSilentAtEnd = false;
    std::wstring errorText;
    // Why, where the run knows more than its text says (a file that did not load); empty
    // otherwise. Not shown by the run itself.
    std::wstring errorCause;
    std::wstring folderShown;
    std::optional<UpdateFileFacts> file;  // once the update file loaded
    // The plan the unit was written by (or, in a dry run, would be), once one was made.
    std::optional<UpdatePlan> plan;
};

// Loads an update file and applies the vendor check, as the run does. False with `cause`
// set (a sentence for the user, after "Open update file failed!") when the file cannot be
// read, holds nothing a unit can take, or is made for another vendor's units.
[[nodiscard]] bool LoadUpdateFile(UpdatePackage& package, const std::wstring& path,
                                  const VendorConfig& vendor, std::wstring& cause);
// Name, size and byte sum of a file; nullopt when it cannot be read whole.
[[nodiscard]] std::optional<UpdateFileFacts> UpdateFileFactsOf(const std::wstring& path);

// Runs one update on the calling thread. Never throws.
UpdateRunOutcome UpdateWorker(UpdateRunShared& shared, UpdateRunServices& services);

}  // namespace kivrel
