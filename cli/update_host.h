#pragma once
// The command line's side of an update run: progress on stderr, the province choice from the
// options, a failed archive download noted as the window notes it, and the room on the disk a
// download needs.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "cli/cli_options.h"
#include "cli/progress_renderer.h"
#include "package/province_names.h"
#include "procedures/update_run.h"

namespace kivrel {
class CHttpDownload;
}  // namespace kivrel

namespace kivrel::cli {

class CliRunHost : public ProgressRenderer, public UpdateRunView {
public:
    CliRunHost(UpdateRunShared& shared, bool chooseProvinces,
               const std::array<std::int32_t, kProvinceCount>& flags);

    int AskProvinces() override;
    void DownloadFinished(std::uint32_t result, std::uint32_t value) override;
    void TransferStart(std::uint32_t totalBytes) override;
    // The archive's size is known before any of it is written: a disk without room for it
    // and its unpacked files stops the download here.
    void DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) override;

    void EnableButtons(bool) override {}
    void SetProgressText(std::wstring_view text) override;
    void SetProgressPosition(std::uint32_t) override {}
    void ShowTransferProgress() override { Finish(); }
    void OpenFolder(const std::wstring& folder) override;
    void RunFinished() override {}

    bool asked = false;
    bool transferStarted = false;
    std::function<std::string(std::uint32_t)> roomCheck;
    CHttpDownload* downloader = nullptr;
    std::string roomCause;  // why the download was stopped for want of room

private:
    UpdateRunShared& shared;
    bool chooseProvinces;
    std::array<std::int32_t, kProvinceCount> flags;
};

// Room on the disk of the staging folders for a download of `archiveBytes` (0: not given)
// and its unpacked files. Empty when there is room or the system cannot tell; else why not
// and what to do.
[[nodiscard]] std::string RoomForDownload(const GlobalOptions& options, const std::wstring& folder,
                                          std::uint32_t archiveBytes, std::uint32_t capacity);

}  // namespace kivrel::cli
