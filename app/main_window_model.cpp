#include "app/main_window_model.h"

#include <algorithm>
#include <cstdio>

#include "app/control_ids.h"
#include "app/window_thread.h"
#include "base/ascii_text.h"
#include "base/prompts.h"
#include "base/text.h"
#include "device/unit_ids.h"
#include "device/vendor_acceptance.h"
#include "net/archive_check.h"
#include "net/download_progress_text.h"
#include "net/version_check.h"
#include "net/version_trust.h"
#include "package/vendor_config.h"
#include "procedures/online_check.h"
#include "procedures/unit_reading.h"

namespace kivrel {
namespace {

constexpr std::size_t Index(MainButton button) {
    return static_cast<std::size_t>(button);
}

std::wstring Format(const wchar_t* format, double value) {
    wchar_t text[64];
    std::swprintf(text, std::size(text), format, value);
    return text;
}

std::wstring Format(const wchar_t* format, unsigned value) {
    wchar_t text[64];
    std::swprintf(text, std::size(text), format, value);
    return text;
}

}  // namespace

// The run's controls, reached from the worker's thread: every call is handed to the window's
// thread and waited for, as the worker's calls on the window's controls always were.
class MainWindowModel::RunView : public UpdateRunView {
public:
    explicit RunView(MainWindowModel& model) : model(model) {}

    void EnableButtons(bool enabled) override {
        model.services.thread.Run([&] {
            model.Enable(MainButton::Update, enabled);
            model.Enable(MainButton::Setting, enabled);
            model.Enable(MainButton::Open, enabled);
        });
    }
    void SetProgressText(std::wstring_view text) override {
        model.services.thread.Run([&] {
            // The run clears the bar before it reports a failure: the bar empties too, so it
            // never stands full beside "Update Failed!".
            if (text.empty()) model.services.view.SetProgressPosition(0);
            model.SetBarText(text);
        });
    }
    void SetProgressPosition(std::uint32_t position) override {
        model.services.thread.Run([&] { model.services.view.SetProgressPosition(position); });
    }
    void ShowTransferProgress() override {
        model.services.thread.Run([&] { model.ShowTransferProgress(); });
    }
    void OpenFolder(const std::wstring& folder) override {
        model.services.thread.Run([&] { model.services.view.OpenFolder(folder); });
    }
    // The worker's end is told when its thread has returned (RunWorker).
    void RunFinished() override {}

private:
    MainWindowModel& model;
};

// The run's message boxes, shown over the window on the window's thread.
class MainWindowModel::RunPrompts : public Prompts {
public:
    explicit RunPrompts(MainWindowModel& model) : model(model) {}

    void ShowError(std::wstring_view text) override {
        model.services.thread.Run([&] { model.services.prompts.ShowError(text); });
    }
    void ShowInformation(std::wstring_view text, std::wstring_view caption) override {
        model.services.thread.Run([&] { model.services.prompts.ShowInformation(text, caption); });
    }
    bool AskYesNo(std::wstring_view text, std::wstring_view caption) override {
        bool yes = false;
        model.services.thread.Run([&] { yes = model.services.prompts.AskYesNo(text, caption); });
        return yes;
    }

private:
    MainWindowModel& model;
};

MainWindowModel::MainWindowModel(MainWindowServices services, MainWindowOptions options)
    : services(std::move(services)),
      options(std::move(options)),
      events(this->services.thread),
      runView(std::make_unique<RunView>(*this)),
      runPrompts(std::make_unique<RunPrompts>(*this)) {
    unit.acceptanceHook = VendorAcceptanceHook(this->services.vendor);
    versionDownloader.SetPromptOwner(this->services.promptOwner);
    archiveDownloader.SetPromptOwner(this->services.promptOwner);
}

MainWindowModel::~MainWindowModel() {
    Shutdown();
}

// ---- Start-up ----

void MainWindowModel::Start() {
    SetTitle(std::wstring(kTitleTool));
    services.view.StartTimer(kTimerProgress, kTimerProgressMs);
    versionCheckActive = false;
    shared.archiveUrl.clear();
    shared.announcedArchive = {};
    const OnlineSource source = OnlineSourceForUnit();
    versionFileUrl = source.address;
    if (source.kind == OnlineSourceKind::kNone) {
        SetStatus(kStatusChooseFile);
        onlineSourceSettled = false;
        onlineVersion = -1;
    } else if (source.kind == OnlineSourceKind::kArchive) {
        // No version file: nothing signs the archive, which a vendor with a key refuses.
        AnnouncedDatabase found;
        const std::wstring refusal = TakeArchiveAddress(versionFileUrl, TrustPolicy(), found);
        shared.archiveUrl = found.archiveUrl;
        SetStatus(refusal.empty() ? shared.archiveUrl : refusal);
        onlineSourceSettled = true;
    } else {
        std::wstring error;
        if (!StartVersionCheck(error)) SetStatus(kStatusChooseOrConnect);
        Enable(MainButton::Open, false);
        onlineVersion = 0;
        onlineSourceSettled = true;
    }
    Enable(MainButton::Setting, false);
    Enable(MainButton::Update, false);
    if (!options.updateFile.empty()) {
        if (!versionDownloader.Finished()) versionDownloader.RequestCancel();
        SelectFile(options.updateFile);
    }

    if (!unit.Connected() && services.openUnit(unit, &events) && ReadUnit()) {
        RefreshConnectionState();
        return;
    }
    if (services.switchDiskUnits && services.switchDiskUnits()) {
        services.view.StartTimer(kTimerDiskSwitch, kTimerDiskSwitchMs);
    }
}

bool MainWindowModel::StartVersionCheck(std::wstring& error) {
    SetStatus(kStatusSearching);
    const TempFolderChoice temp = TempChoice();
    if (temp.folder.empty()) {
        error = temp.problem;
        return false;
    }
    versionCheckActive = true;
    versionEvents.SetTransfer(++lastTransferNumber);
    error = StartVersionFetch(versionDownloader, &versionEvents, versionFileUrl, temp, false);
    if (!error.empty()) {
        versionCheckActive = false;
        return false;
    }
    return true;
}

TempFolderChoice MainWindowModel::TempChoice() const {
    return {services.tempFolder, services.tempFolderProblem};
}

VersionTrustPolicy MainWindowModel::TrustPolicy() const {
    return TrustPolicyFor(services.vendor);
}

// ---- The title and the buttons ----

std::wstring MainWindowModel::ConnectionTitle() const {
    std::wstring text(kTitleTool);
    if (unit.Connected()) {
        text += std::wstring(kTitleConnected) + std::wstring(kTitleVersion) +
                DatabaseDateText(unit.databaseDate);
    } else {
        text += kTitleNoUnit;
    }
    return text;
}

void MainWindowModel::RefreshConnectionState() {
    if (unit.Connected()) {
        // The file chosen, not whatever the status line says, decides.
        const bool usableFile =
            !shared.localFilePath.empty() && services.fileExists(shared.localFilePath);
        if (usableFile || onlineVersion > 0 || !shared.archiveUrl.empty()) {
            Enable(MainButton::Update, true);
        }
        Enable(MainButton::Setting, true);
        if (!shared.localFilePath.empty() || onlineSourceSettled) {
            Enable(MainButton::Open, true);
        } else {
            versionFileUrl = OnlineSourceForUnit().address;
            if (!versionFileUrl.empty()) {
                std::wstring error;
                if (!StartVersionCheck(error)) {
                    versionDownloader.Cancel();
                    SetStatus(error);
                    Enable(MainButton::Open, true);
                } else {
                    Enable(MainButton::Open, false);
                }
                onlineVersion = 0;
            }
        }
    } else {
        Enable(MainButton::Setting, false);
        Enable(MainButton::Update, false);
    }
    SetTitle(ConnectionTitle());
}

// The version file (or archive) this unit's vendor publishes, or the one the command line gave.
OnlineSource MainWindowModel::OnlineSourceForUnit() const {
    return ChooseOnlineSource(unit.identity, services.vendor, options.versionUrl);
}

void MainWindowModel::CloseNow() {
    Shutdown();
    services.view.EndWindow();
}

void MainWindowModel::SetTitle(std::wstring_view text) {
    services.view.SetTitle(text);
}

void MainWindowModel::SetStatus(std::wstring_view text) {
    services.view.SetStatusText(text);
}

void MainWindowModel::SetBarText(std::wstring_view text) {
    services.view.SetProgressText(text);
}

void MainWindowModel::Enable(MainButton button, bool enabled) {
    wanted[Index(button)] = enabled;
    services.view.EnableButton(button, enabled && !runActive);
}

void MainWindowModel::ApplyButtons() {
    for (MainButton button : {MainButton::Open, MainButton::Update, MainButton::Setting}) {
        services.view.EnableButton(button, wanted[Index(button)] && !runActive);
    }
}

// ---- Messages ----

std::intptr_t MainWindowModel::Dispatch(unsigned message, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
    switch (message) {
        case kWmTransferStart:
            OnTransferStart(static_cast<std::uint32_t>(lParam));
            return 0;
        case kWmTransferWritten:
            // Bytes that arrive after the write ended are already in its total.
            if (const std::uint32_t bytes = events.TakeWritten(); unit.transferBusy.load() != 0) {
                OnTransferWritten(bytes);
            }
            [[fallthrough]];  // a refused download post may have left events behind
        case kWmDownloadFinished:
        case kWmDownloadSize:
        case kWmDownloadPercent:
        case kWmDownloadSpeed:
            for (const DownloadEvent& event : events.TakeDownloadEvents()) OnDownloadEvent(event);
            return 0;
        case kWmAskProvinces:
            return OnAskProvinces();
        case kWmRunOnWindowThread:
            (*reinterpret_cast<std::function<void()>*>(lParam))();
            return 0;
        case kWmWorkerEnded:
            OnWorkerEnded();
            return 0;
        default:
            (void)wParam;
            return 0;
    }
}

void MainWindowModel::OnTransferStart(std::uint32_t total) {
    events.DiscardWritten();
    transferStarted = true;
    services.view.SetProgressRange(total);
    services.view.SetProgressPosition(0);
    SetBarText(kBarUpdating);
    erasePhaseText = kBarUpdating;
}

void MainWindowModel::OnTransferWritten(std::uint32_t bytes) {
    unit.transferWritten.fetch_add(bytes);
}

int MainWindowModel::OnAskProvinces() {
    // A window that is closing has no one to ask: the update is abandoned.
    if (closing) return 1;
    if (!services.chooseProvinces) {
        shared.provinceMode = 0;  // the national package
        return 0;
    }
    return services.chooseProvinces(shared);
}

void MainWindowModel::OnDownloadEvent(const DownloadEvent& event) {
    const bool current = event.transfer != 0 && (event.transfer == versionEvents.Number() ||
                                                 event.transfer == archiveEvents.Number());
    // A message of a transfer that was cancelled or replaced is not this transfer's.
    if (!current) return;
    switch (event.message) {
        case kWmDownloadFinished:
            OnDownloadFinished(event);
            break;
        case kWmDownloadSize:
            downloadTotal = event.wParam;
            services.view.SetProgressRange(event.wParam);
            services.view.SetProgressPosition(0);
            break;
        case kWmDownloadSpeed:
            if (event.transfer == archiveEvents.Number()) {
                OnDownloadSpeed(event.wParam, event.lParam);
            }
            break;
        default:
            break;
    }
}

void MainWindowModel::OnDownloadFinished(const DownloadEvent& event) {
    const DownloadResultCode result = ToDownloadResultCode(event.wParam);
    if (event.transfer == versionEvents.Number()) {
        versionDownloader.Cancel();
        Enable(MainButton::Open, true);
        const bool wasActive = versionCheckActive;
        versionCheckActive = false;  // on every end of the check, a cancel included
        versionEvents.SetTransfer(0);
        if (!wasActive || result == DownloadResultCode::kCancelled) return;
        // A file chosen meanwhile stays on the status line: it is what Update will send.
        const auto status = [&](std::wstring_view text) {
            if (shared.localFilePath.empty()) SetStatus(text);
        };
        AnnouncedDatabase found;
        if (const std::wstring failed =
                ReadFetchedVersion(result, TempChoice(), TrustPolicy(), found);
            !failed.empty()) {
            status(failed);
            onlineVersion = -1;
            return;
        }
        onlineVersion = found.version;
        shared.archiveUrl = found.archiveUrl;
        shared.announcedArchive = found.verdict.archive;
        status(std::wstring(kStatusOnlineVersion) + Utf8ToWide(found.versionText));
        if (unit.Connected()) Enable(MainButton::Update, true);
        return;
    }
    // The archive, downloaded by the worker on its own thread: the worker reads the
    // downloader's own result; the bar tells the user.
    Enable(MainButton::Open, true);
    if (result == DownloadResultCode::kComplete) {
        OnDownloadSpeed(0, downloadTotal);
    } else if (result != DownloadResultCode::kCancelled) {
        shared.SetDownloadErrorText(std::wstring(kTextDownloadFailed));
        SetBarText(kTextDownloadFailed);
    }
}

void MainWindowModel::OnDownloadSpeed(std::uint32_t speedCode, std::uint32_t bytes) {
    services.view.SetProgressPosition(bytes);
    SetBarText(DownloadProgressText(bytes, downloadTotal, speedCode));
}

void MainWindowModel::ShowTransferProgress() {
    const std::uint32_t ticks = unit.transferTicks.fetch_add(1) + 1;
    const std::uint32_t written = unit.transferWritten.load();
    const std::uint32_t total = unit.transferTotal.load();
    const unsigned seconds = ticks / 6;
    std::wstring text;
    if (written > 0) {
        const double percent =
            total == 0 ? 100.0 : std::min(100.0, static_cast<double>(written) / total * 100.0);
        text = L"Updated" + Format(L" %.02f%%   ", percent) + L"Time" + Format(L" %u ", seconds) +
               L"Second";
    } else {
        // Before the first block (the unit erasing): the text of the transfer's start with
        // the time so far, built afresh each tick.
        text = erasePhaseText + L"   Time" + Format(L" %u ", seconds) + L"Second";
    }
    services.view.SetProgressPosition(written);
    SetBarText(text);
}

// ---- Timers ----

void MainWindowModel::OnTimer(unsigned id) {
    switch (id) {
        case kTimerProgress:
            if (unit.transferBusy.load() != 0) ShowTransferProgress();
            // A lost "worker ended" post is found here.
            if (runActive && workerDone.load()) OnWorkerEnded();
            break;
        case kTimerConnect:
            services.view.KillTimer(kTimerConnect);
            if (runActive) {
                // The worker holds the link; connect when it has ended.
                connectAfterRun = true;
                break;
            }
            ConnectAndRead();
            RefreshConnectionState();
            break;
        case kTimerDiskSwitch:
            services.view.KillTimer(kTimerDiskSwitch);
            if (services.switchDiskUnits && services.switchDiskUnits()) {
                SetTitle(std::wstring(kTitleTool) + std::wstring(kTitleConnecting));
                services.view.StartTimer(kTimerConnect, kTimerConnectMs);
            }
            break;
        default:
            break;
    }
}

void MainWindowModel::ConnectAndRead() {
    if (unit.Connected()) return;
    if (!services.openUnit(unit, &events)) return;
    (void)ReadUnit();
}

bool MainWindowModel::ReadUnit() {
    const UnitReading reading = kivrel::ReadUnit(unit, services.vendor);
    if (reading.result == ReadingResult::kRead) return true;
    // A refused unit is simply not connected; one that did not answer whole is told.
    if (const std::wstring text = ReadingFailureBarText(reading); !text.empty()) SetBarText(text);
    return false;
}

// ---- Buttons, drops and devices ----

void MainWindowModel::OnOpen() {
    if (runActive) return;
    std::wstring path;
    if (!services.view.ChooseUpdateFile(path)) return;
    if (!versionDownloader.Finished()) versionDownloader.RequestCancel();
    SelectFile(path);
}

void MainWindowModel::SelectFile(const std::wstring& path) {
    shared.localFilePath = path;
    SetStatus(path);
    if (unit.Connected()) Enable(MainButton::Update, true);
}

void MainWindowModel::OnDropFiles(const std::vector<std::wstring>& paths) {
    if (runActive || paths.empty()) return;
    const std::wstring& path = paths.front();
    if (!ExtensionIs(path, L"qdx")) return;
    SelectFile(path);
}

void MainWindowModel::OnUpdate() {
    // One run at a time, however the clicks and messages arrive.
    if (runActive || closing) return;
    if (!unit.Connected()) {
        services.prompts.ShowError(kTitleNoUnit);
        return;
    }
    const std::uint32_t unitVersion = DatabaseVersionNumber(unit.databaseDate);
    if (shared.localFilePath.empty() && AskBeforeUpdate(unitVersion, onlineVersion) &&
        !services.prompts.AskYesNo(kQuestionAlreadyNewest, kToolCaption)) {
        return;
    }
    runActive = true;
    ApplyButtons();
    workerDone = false;
    transferStarted = false;
    unitRemovedDuringRun = false;
    shared.stopRequested = 0;
    shared.SetDownloadErrorText({});
    unit.link.ClearStop();
    archiveEvents.SetTransfer(++lastTransferNumber);
    worker = std::thread([this] { RunWorker(); });
}

void MainWindowModel::RunWorker() {
    UpdateRunServices run{unit,
                          archiveDownloader,
                          services.archivers,
                          services.files,
                          archiveEvents,
                          *runPrompts,
                          *runView,
                          services.vendor,
                          services.tempFolder,
                          services.tempFolderProblem};
    workerOutcome = UpdateWorker(shared, run);
    workerDone = true;
    // If the post is refused, timer 1 finds the ended worker.
    (void)services.thread.Post(kWmWorkerEnded, 0, 0);
}

void MainWindowModel::OnWorkerEnded() {
    if (!runActive || !workerDone.load()) return;
    if (worker.joinable()) worker.join();
    runActive = false;
    lastOutcome = workerOutcome;
    archiveEvents.SetTransfer(0);
    unit.transferBusy = 0;

    if (closing) {
        CloseNow();
        return;
    }
    unit.link.ClearStop();
    if (unitRemovedDuringRun) {
        unitRemovedDuringRun = false;
        unit.link.CloseHandles();
        RefreshConnectionState();
    } else if (transferStarted && unit.Connected()) {
        // A successful write read the unit back; after a failed one the unit may hold
        // something else than before: read it again. Either way the title shows what the
        // unit holds now.
        if (!lastOutcome.succeeded && !ReadUnit()) RefreshConnectionState();
        SetTitle(ConnectionTitle());
    }
    ApplyButtons();
    if (connectAfterRun) {
        connectAfterRun = false;
        services.view.StartTimer(kTimerConnect, kTimerConnectMs);
    }
}

void MainWindowModel::OnSetting() {
    if (runActive || closing) return;
    if (services.runSettings) services.runSettings(unit);
}

void MainWindowModel::OnDeviceChange(DeviceEvent event, int classIndex, std::wstring_view path) {
    if (event == DeviceEvent::Arrival) {
        if (classIndex == kClassIndexHid && IsUnitPath(path) && !unit.Connected()) {
            SetTitle(std::wstring(kTitleTool) + std::wstring(kTitleConnecting));
            services.view.StartTimer(kTimerConnect, kTimerConnectMs);
        } else if (classIndex == kClassIndexVolume) {
            services.view.StartTimer(kTimerDiskSwitch, kTimerDiskSwitchMs);
        }
        return;
    }
    if (classIndex != kClassIndexHid || !IsUnitPath(path)) return;
    if (runActive) {
        // The worker is using the link: stop it at the next report, and close the link
        // once it has ended.
        unitRemovedDuringRun = true;
        unit.link.RequestStop();
        return;
    }
    if (unit.Connected()) unit.link.CloseHandles();
    RefreshConnectionState();
}

// ---- Closing ----

void MainWindowModel::OnClose() {
    if (closing) return;
    if (!runActive) {
        CloseNow();
        return;
    }
    if (unit.transferBusy.load() != 0 &&
        !services.prompts.AskYesNo(kQuestionCloseWhileWriting, kToolCaption)) {
        return;
    }
    if (!runActive) {
        // The run ended while the question was up.
        CloseNow();
        return;
    }
    closing = true;
    StopRun();  // the window closes when the worker reports its end
}

void MainWindowModel::StopRun() {
    shared.stopRequested = 1;
    unit.link.RequestStop();
    archiveDownloader.RequestCancel();
}

void MainWindowModel::Shutdown() {
    if (shutDown) return;
    shutDown = true;
    services.view.KillTimer(kTimerProgress);
    if (worker.joinable()) {
        // Only reached when the window is destroyed without closing: the worker is told to
        // stop and is waited for; it is never killed while it holds the unit.
        StopRun();
        worker.join();
    }
    versionDownloader.Cancel();
    archiveDownloader.Cancel();
}

}  // namespace kivrel
