#include "cli/update_host.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "cli/cli_prompts.h"
#include "cli/plan_text.h"
#include "cli/terminal.h"
#include "net/archive_check.h"
#include "net/http_download.h"

namespace kivrel::cli {

CliRunHost::CliRunHost(UpdateRunShared& shared, bool chooseProvinces,
                       const std::array<std::int32_t, kProvinceCount>& flags)
    : ProgressRenderer(stderr, StderrIsTerminal()),
      shared(shared),
      chooseProvinces(chooseProvinces),
      flags(flags) {}

int CliRunHost::AskProvinces() {
    asked = true;
    shared.provinceMode = chooseProvinces ? 1 : 0;
    if (chooseProvinces) shared.provinceFlags = flags;
    return 0;
}

void CliRunHost::DownloadFinished(std::uint32_t result, std::uint32_t value) {
    ProgressRenderer::DownloadFinished(result, value);
    const DownloadResultCode code = ToDownloadResultCode(result);
    if (code != DownloadResultCode::kComplete && code != DownloadResultCode::kCancelled) {
        std::fprintf(stderr, "Download failed (result %u, %u)\n", result, value);
        shared.SetDownloadErrorText(std::wstring(kTextDownloadFailed));
    }
}

void CliRunHost::TransferStart(std::uint32_t totalBytes) {
    transferStarted = true;
    ProgressRenderer::TransferStart(totalBytes);
}

void CliRunHost::DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) {
    if (roomCheck && downloader != nullptr) {
        roomCause = roomCheck(contentLength);
        if (!roomCause.empty()) {
            downloader->RequestCancel();
            return;
        }
    }
    ProgressRenderer::DownloadSize(contentLength, resumeOffset);
}

void CliRunHost::SetProgressText(std::wstring_view text) {
    Finish();
    if (!text.empty()) PrintLine(stderr, text);
}

void CliRunHost::OpenFolder(const std::wstring& folder) {
    std::fprintf(stderr, "The downloaded files are in %s\n", WideToUtf8(folder).c_str());
}

std::string RoomForDownload(const GlobalOptions& options, const std::wstring& folder,
                            std::uint32_t archiveBytes, std::uint32_t capacity) {
    // The room the run's download needs beyond the archive (its unpacked files: at most the
    // unit's two banks and the update file's tables), said here in full before the download
    // checks it itself. An archive of unknown size is taken to be as large as what it unpacks
    // to: packing rarely makes a file larger.
    const std::uint64_t unpacked = ArchiveTransferBounds(capacity, {}).roomBeyond;
    const std::uint64_t archive = archiveBytes != 0 ? archiveBytes : unpacked;
    const auto free = options.FreeSpace(folder);
    if (!free || *free >= archive + unpacked) return {};
    return "There is not enough free space for the download in " + WideToUtf8(folder) + ": " +
           FormatSize(*free) + " free, and the archive (" +
           (archiveBytes != 0 ? FormatSize(archive)
                              : "size not given: up to " + FormatSize(archive)) +
           ") and its unpacked files (up to " + FormatSize(unpacked) + ") need " +
           FormatSize(archive + unpacked) +
           ". Free some space and try again, or update from a file you have.";
}

}  // namespace kivrel::cli
