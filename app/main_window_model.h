#pragma once
// The main window's behaviour, without a window: start-up, the unit's arrival and removal,
// the title and status texts, which buttons are enabled, the version check, the chosen or
// dropped update file, the progress texts, the update worker's thread, and closing. The
// Win32 dialog (CKivrelDlg) only draws and forwards; the native tests drive this directly.
//
// Everything here runs on the window's thread, except the update worker, which reaches the
// window only through WindowThread (sent and posted messages).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/window_event_sink.h"
#include "base/prompts.h"
#include "device/gps_unit.h"
#include "net/http_download.h"
#include "net/version_check.h"
#include "procedures/online_check.h"
#include "procedures/setting_button.h"
#include "procedures/update_run.h"

namespace kivrel {

class Archivers;
class Prompts;
class StagingFiles;
class WindowThread;
struct VendorConfig;

enum class MainButton { Open, Update, Setting };

// The window's controls and dialogs, as the model needs them. Window's thread only.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    virtual void SetTitle(std::wstring_view title) = 0;
    virtual void SetStatusText(std::wstring_view text) = 0;
    virtual void EnableButton(MainButton button, bool enabled) = 0;
    virtual void SetProgressRange(std::uint32_t upper) = 0;  // the lower bound is 0
    virtual void SetProgressPosition(std::uint32_t position) = 0;
    virtual void SetProgressText(std::wstring_view text) = 0;
    virtual void StartTimer(unsigned id, unsigned periodMs) = 0;
    virtual void KillTimer(unsigned id) = 0;
    // The file-open dialog; false when the user cancelled it.
    [[nodiscard]] virtual bool ChooseUpdateFile(std::wstring& path) = 0;
    // Opens a folder in the shell for the user.
    virtual void OpenFolder(const std::wstring& folder) = 0;
    // Ends the dialog: the tool closes.
    virtual void EndWindow() = 0;
};

// The province question and window: 0 to go on with the choice stored in `shared`
// (provinceMode and provinceFlags), 1 to abandon the update.
using ProvinceChooser = std::function<int(UpdateRunShared& shared)>;
// The Setting button's checks, the settings window and the write, for the connected unit.
using SettingsRunner = std::function<void(CGpsUnit& unit)>;
// Discovery: opens the unit and attaches it to `unit.link` with `sink` for progress; false
// when no unit opened.
using UnitOpener = std::function<bool(CGpsUnit& unit, EventSink* sink)>;

struct MainWindowServices {
    MainWindowView& view;
    Prompts& prompts;
    WindowThread& thread;
    UnitOpener openUnit;
    std::function<bool()> switchDiskUnits;
    ProvinceChooser chooseProvinces;
    SettingsRunner runSettings;
    Archivers& archivers;
    StagingFiles& files;
    const VendorConfig& vendor;
    // The system's temp folder (the version file "Tmp" and the staging folders go there);
    // empty when there is none, with the reason beside it.
    std::wstring tempFolder;
    std::wstring tempFolderProblem;
    // True when a path names a file that opens for reading.
    std::function<bool(const std::wstring&)> fileExists;
    // The native window the downloads' credential dialog is shown over; null: none.
    void* promptOwner = nullptr;
};

// What Kivrel.exe's command line adds to a start.
struct MainWindowOptions {
    std::wstring updateFile;  // chosen as Open would choose it
    std::wstring versionUrl;  // replaces the build's version-file table
};

// The window's texts, exactly as the user sees them.
inline constexpr std::wstring_view kTitleTool = kToolCaption;
inline constexpr std::wstring_view kTitleConnected = L"   GPS Connected";
inline constexpr std::wstring_view kTitleVersion = L"   V:";
inline constexpr std::wstring_view kTitleNoUnit = kTextNoHardware;
inline constexpr std::wstring_view kTitleConnecting = L"   GPS Connecting...";
inline constexpr std::wstring_view kStatusChooseFile = L"Please choose the updated file!";
inline constexpr std::wstring_view kStatusChooseOrConnect =
    L"Choose updated file or connect device for automatic detection!";
inline constexpr std::wstring_view kStatusSearching = kTextSearchingVersion;
inline constexpr std::wstring_view kStatusAccessFailed = kTextAccessFailed;
inline constexpr std::wstring_view kStatusOnlineVersion = kTextOnlineVersion;
inline constexpr std::wstring_view kQuestionAlreadyNewest = kTextAlreadyNewest;
inline constexpr std::wstring_view kBarUpdating = L"updating";
// Ours: closing while the unit is being written leaves it half updated.
inline constexpr std::wstring_view kQuestionCloseWhileWriting =
    L"The update is being written into the unit. If you close now, the update stops and the "
    L"unit must be updated again before it is used. Close anyway?";

inline constexpr unsigned kTimerProgressMs = 166;
inline constexpr unsigned kTimerConnectMs = 2000;
inline constexpr unsigned kTimerDiskSwitchMs = 3000;

// Device notifications, as the window's WM_DEVICECHANGE handler hands them on.
enum class DeviceEvent { Arrival, RemoveComplete };

class MainWindowModel {
public:
    MainWindowModel(MainWindowServices services, MainWindowOptions options = {});
    // Stops and waits for the worker and both downloaders.
    ~MainWindowModel();
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    // Dialog initialisation, after the window has set its icons, menu and controls.
    void Start();

    // The fixed message numbers (and the window's private ones): the window hands every one
    // of them here. Returns the message's result.
    std::intptr_t Dispatch(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    void OnTimer(unsigned id);
    void OnOpen();
    void OnUpdate();
    void OnSetting();
    // The Close button and the close box. The window closes at once, or once a running update
    // has stopped; while the unit is being written the user is asked first.
    void OnClose();
    void OnDropFiles(const std::vector<std::wstring>& paths);
    // `classIndex` is ClassIndex of the broadcast's interface class; `path` its device name.
    void OnDeviceChange(DeviceEvent event, int classIndex, std::wstring_view path);

    // Builds and shows the transfer progress text (timer 1 while the unit is busy).
    void ShowTransferProgress();

    [[nodiscard]] CGpsUnit& Unit() noexcept { return unit; }
    [[nodiscard]] EventSink& Events() noexcept { return events; }
    [[nodiscard]] bool RunActive() const noexcept { return runActive; }
    [[nodiscard]] const std::wstring& LocalFilePath() const noexcept {
        return shared.localFilePath;
    }
    [[nodiscard]] const std::wstring& ArchiveUrl() const noexcept { return shared.archiveUrl; }
    [[nodiscard]] std::int32_t OnlineVersion() const noexcept { return onlineVersion; }
    [[nodiscard]] bool VersionCheckActive() const noexcept { return versionCheckActive; }
    // How the last update run ended (meaningful once it has).
    [[nodiscard]] const UpdateRunOutcome& LastOutcome() const noexcept { return lastOutcome; }

private:
    class RunView;
    class RunPrompts;

    void RefreshConnectionState();
    // "Update Tool" and what the unit's connection and database date add to it.
    [[nodiscard]] std::wstring ConnectionTitle() const;
    [[nodiscard]] bool StartVersionCheck(std::wstring& error);
    void SelectFile(const std::wstring& path);
    void OnTransferStart(std::uint32_t total);
    void OnTransferWritten(std::uint32_t bytes);
    [[nodiscard]] int OnAskProvinces();
    void OnDownloadEvent(const DownloadEvent& event);
    void OnDownloadFinished(const DownloadEvent& event);
    void OnDownloadSpeed(std::uint32_t speedCode, std::uint32_t bytes);
    void OnWorkerEnded();
    void ConnectAndRead();
    // ResetUnitInfo and ReadUnitInfo; false when the unit was refused or did not answer whole
    // (the link is then closed).
    [[nodiscard]] bool ReadUnit();
    void RunWorker();
    void StopRun();
    void Shutdown();

    void SetTitle(std::wstring_view text);
    [[nodiscard]] OnlineSource OnlineSourceForUnit() const;
    [[nodiscard]] TempFolderChoice TempChoice() const;
    // The vendor's keys: the window takes no others.
    [[nodiscard]] VersionTrustPolicy TrustPolicy() const;
    void CloseNow();  // shuts the model down and ends the window
    void SetStatus(std::wstring_view text);
    void SetBarText(std::wstring_view text);
    // What the window wants enabled; a running update holds the three buttons off whatever
    // asks for them, and they take the wanted state when it ends.
    void Enable(MainButton button, bool enabled);
    void ApplyButtons();

    MainWindowServices services;
    MainWindowOptions options;
    WindowEventSink events;
    WindowEventSink::Transfer versionEvents{events};
    WindowEventSink::Transfer archiveEvents{events};
    CGpsUnit unit;
    // The version file on its own thread, the archive on the worker's: two downloaders, so a
    // late message of one can never stop the other.
    CHttpDownload versionDownloader;
    CHttpDownload archiveDownloader;
    std::unique_ptr<RunView> runView;
    std::unique_ptr<RunPrompts> runPrompts;

    UpdateRunShared shared;
    std::wstring versionFileUrl;
    std::int32_t onlineVersion = -1;
    std::uint32_t downloadTotal = 0;
    bool versionCheckActive = false;
    bool onlineSourceSettled = false;
    std::uint32_t lastTransferNumber = 0;

    std::wstring erasePhaseText;  // the bar's text when the transfer began
    std::array<bool, 3> wanted{true, true, true};

    std::thread worker;
    bool runActive = false;
    std::atomic<bool> workerDone{false};
    UpdateRunOutcome workerOutcome;  // written by the worker before workerDone
    UpdateRunOutcome lastOutcome;
    bool transferStarted = false;
    bool unitRemovedDuringRun = false;
    bool connectAfterRun = false;
    bool closing = false;
    bool shutDown = false;
};

}  // namespace kivrel
