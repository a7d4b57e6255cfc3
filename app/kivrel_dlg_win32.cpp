#include "app/kivrel_dlg_win32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>
#include <shellapi.h>

#include <fstream>
#include <vector>

#include "app/control_ids.h"
#include "base/native_path.h"
#include "base/temp_folder.h"
#include "base/text.h"
#include "device/chid_io_win32.h"
#include "device/disk_switch.h"
#include "package/vendor_config.h"
#include "procedures/setting_button.h"
#include "procedures/unit_reading.h"
#include "settings/config_dialog_win32.h"
#include "settings/province_dialog_win32.h"
#include "update/archivers.h"
#include "update/staging_files.h"

namespace kivrel {
namespace {

constexpr wchar_t kUsage[] =
    L"Kivrel.exe [FILE.qdx] [--device sim:DIR] [--trace FILE] [--version-url URL]";
constexpr wchar_t kOpenFilter[] = L"Update File(*.qdx)\0*.qdx\0All File(*.*)\0*.*\0";

bool FileOpensForReading(const std::wstring& path) {
    if (path.empty()) return false;
    std::ifstream file(NativePath(path), std::ios::binary);
    return file.is_open();
}

UniqueBitmap LoadBitmapResource(HINSTANCE instance, int id) {
    return UniqueBitmap(static_cast<HBITMAP>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

// `from` (of `fromSize`) drawn at width x height with its pixels averaged; none when it could
// not be drawn.
UniqueBitmap ScaledCopy(HBITMAP from, const BITMAP& fromSize, int width, int height) {
    const WindowDc screen(nullptr);
    const UniqueMemoryDc fromDc(::CreateCompatibleDC(screen.Get()));
    const UniqueMemoryDc toDc(::CreateCompatibleDC(screen.Get()));
    UniqueBitmap scaled(::CreateCompatibleBitmap(screen.Get(), width, height));
    if (!fromDc.Valid() || !toDc.Valid() || !scaled.Valid()) return {};
    bool drawn = false;
    {
        const ScopedSelect fromSelection(fromDc.Get(), from);
        const ScopedSelect toSelection(toDc.Get(), scaled.Get());
        ::SetStretchBltMode(toDc.Get(), HALFTONE);  // averages the pixels it drops
        ::SetBrushOrgEx(toDc.Get(), 0, 0, nullptr);
        drawn = ::StretchBlt(toDc.Get(), 0, 0, width, height, fromDc.Get(), 0, 0, fromSize.bmWidth,
                             fromSize.bmHeight, SRCCOPY) != FALSE;
    }
    if (!drawn) return {};
    return scaled;
}

// The picture is drawn for 96 dpi. A larger picture area (a screen set above 96 dpi) gets the
// drawing of twice the size, scaled down to fill the area, so the picture keeps its share of
// the window instead of sitting small in the middle of it.
UniqueBitmap LoadPicture(HINSTANCE instance, HWND area) {
    RECT client{};
    ::GetClientRect(area, &client);
    UniqueBitmap small = LoadBitmapResource(instance, kIdBitmapPicture);
    BITMAP size{};
    if (!small.Valid() || ::GetObjectW(small.Get(), sizeof size, &size) == 0 ||
        (client.right <= size.bmWidth && client.bottom <= size.bmHeight)) {
        return small;
    }
    // The largest size of the picture's shape that the area holds.
    int width = client.right;
    int height = MulDiv(width, size.bmHeight, size.bmWidth);
    if (height > client.bottom) {
        height = client.bottom;
        width = MulDiv(height, size.bmWidth, size.bmHeight);
    }
    UniqueBitmap large = LoadBitmapResource(instance, kIdBitmapPicture2x);
    BITMAP largeSize{};
    if (!large.Valid() || ::GetObjectW(large.Get(), sizeof largeSize, &largeSize) == 0) {
        return small;
    }
    if (width >= largeSize.bmWidth) return large;
    UniqueBitmap scaled = ScaledCopy(large.Get(), largeSize, width, height);
    return scaled.Valid() ? std::move(scaled) : std::move(small);
}

// Opens the unit the command line names, with its trace.
UnitOpener UnitOpenerFor(const KivrelCommandLine& commandLine) {
    UnitLinkOptions link;
    link.device = commandLine.device;
    link.traceFile = commandLine.traceFile;
    return [link](CGpsUnit& unit, EventSink* sink) { return OpenUnit(unit, link, sink).empty(); };
}

}  // namespace

bool ParseKivrelCommandLine(int argc, const wchar_t* const* argv, KivrelCommandLine& commandLine,
                            std::wstring& error) {
    for (int i = 0; i < argc; ++i) {
        const std::wstring_view argument = argv[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = WideToUtf8(argv[++i]);
            return true;
        };
        bool ok = true;
        if (argument == L"--device") {
            ok = value(commandLine.device) && IsUnitSpec(commandLine.device);
        } else if (argument == L"--trace") {
            ok = value(commandLine.traceFile);
        } else if (argument == L"--version-url") {
            std::string url;
            ok = value(url);
            commandLine.window.versionUrl = Utf8ToWide(url);
        } else if (!argument.starts_with(L"--") && commandLine.window.updateFile.empty()) {
            commandLine.window.updateFile = argument;
        } else {
            ok = false;
        }
        if (!ok) {
            error = L"Unexpected \"" + std::wstring(argument) + L"\".\n\nUsage: " + kUsage;
            return false;
        }
    }
    return true;
}

CKivrelDlg::CKivrelDlg(KivrelCommandLine commandLine)
    : commandLine(std::move(commandLine)), archivers(MakeSystemArchivers()) {}

CKivrelDlg::~CKivrelDlg() {
    threadWindow = nullptr;
    model.reset();  // stops and waits for the worker and the downloaders
}

BOOL CKivrelDlg::OnInitDialog() {
    threadWindow = Window();
    prompts.SetOwner(Window());
    SetUpIconsAndMenu();
    SetUpControls();
    StartModel();
    return FALSE;  // SetUpControls gave Update the focus
}

HINSTANCE CKivrelDlg::Instance() const {
    return reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(Window(), GWLP_HINSTANCE));
}

void CKivrelDlg::SetUpIconsAndMenu() {
    const HWND window = Window();
    // The system menu's version item, in front of the first separator; choosing it does
    // nothing.
    if (HMENU systemMenu = ::GetSystemMenu(window, FALSE)) {
        ::InsertMenuW(systemMenu, 0, MF_BYCOMMAND | MF_STRING, 0,
                      (L"Version" + std::to_wstring(kHighestSettingsRevision)).c_str());
    }
    icon = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(kIdIconApp), IMAGE_ICON, 0,
                                           0, LR_DEFAULTSIZE | LR_SHARED));
    ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void CKivrelDlg::SetUpControls() {
    ::SetDlgItemTextW(Window(), kIdFileFrame, L"Update the File");
    ::SetDlgItemTextW(Window(), kIdProgressFrame, L"Progress");
    picture = LoadPicture(Instance(), Item(kIdPicture));
    ::SendDlgItemMessageW(Window(), kIdPicture, STM_SETIMAGE, IMAGE_BITMAP,
                          reinterpret_cast<LPARAM>(picture.Get()));
    AttachControls();
    ::SetFocus(Item(kIdUpdate));
}

MainWindowServices CKivrelDlg::ModelServices() {
    std::wstring tempProblem;
    std::wstring tempFolder = TempFolder(tempProblem);
    return {
        .view = *this,
        .prompts = prompts,
        .thread = *this,
        .openUnit = UnitOpenerFor(commandLine),
        .switchDiskUnits = [] { return SwitchDiskUnits(); },
        .chooseProvinces = [this](UpdateRunShared& shared) { return ChooseProvinces(shared); },
        .runSettings = [this](CGpsUnit& unit) { RunSettings(unit); },
        .archivers = *archivers,
        .files = SystemStagingFiles(),
        .vendor = DefaultVendorConfig(),
        .tempFolder = std::move(tempFolder),
        .tempFolderProblem = std::move(tempProblem),
        .fileExists = FileOpensForReading,
        .promptOwner = Window(),
    };
}

void CKivrelDlg::StartModel() {
    // Lent to the province window of every update that asks for provinces.
    provinceMap = LoadBitmapResource(Instance(), kIdBitmapProvinceMap);
    (void)RegisterUnitNotifications(Window());
    model = std::make_unique<MainWindowModel>(ModelServices(), commandLine.window);
    model->Start();
}

int CKivrelDlg::ChooseProvinces(UpdateRunShared& shared) {
    ProvinceWindowWin32 window(Instance(), Window(), provinceMap.Get(), prompts);
    ProvinceSelection stored{shared.provinceMode, shared.provinceFlags};
    const int result = AskForProvinces(prompts, window, stored);
    shared.provinceMode = stored.mode;
    shared.provinceFlags = stored.flags;
    return result;
}

void CKivrelDlg::RunSettings(CGpsUnit& unit) {
    ConfigWindowWin32 window(Instance(), Window(), prompts);
    (void)RunSettingButton(unit, prompts, window, DefaultVendorConfig());
}

std::optional<LRESULT> CKivrelDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return OnCommand(wParam);
        case WM_CLOSE:
            if (model) model->OnClose();
            return 0;
        case WM_TIMER:
            if (model) model->OnTimer(static_cast<unsigned>(wParam));
            return 0;
        case WM_DEVICECHANGE:
            OnDeviceChange(wParam, lParam);
            return 0;
        case WM_DROPFILES:
            OnDropFiles(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_PAINT:
            if (OnPaintIconic()) return 0;
            return std::nullopt;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<LRESULT>(icon);
        case WM_DESTROY:
            threadWindow = nullptr;
            return std::nullopt;
        case kWmTransferStart:
        case kWmTransferWritten:
        case kWmTransferRead:
        case kWmAskProvinces:
        case kWmDownloadFinished:
        case kWmDownloadSize:
        case kWmDownloadPercent:
        case kWmDownloadSpeed:
        case kWmRunOnWindowThread:
        case kWmWorkerEnded:
            if (!model) return 0;
            return static_cast<LRESULT>(
                model->Dispatch(message, wParam, static_cast<std::intptr_t>(lParam)));
        default:
            return std::nullopt;
    }
}

std::optional<LRESULT> CKivrelDlg::OnCommand(WPARAM wParam) {
    if (!model) return std::nullopt;
    switch (LOWORD(wParam)) {
        case kIdOpen:
            model->OnOpen();
            return 0;
        case kIdUpdate:
            model->OnUpdate();
            return 0;
        case kIdSetting:
            model->OnSetting();
            return 0;
        case kIdClose:
            model->OnClose();
            return 0;
        case IDOK:
        case IDCANCEL:
            // Enter and Escape must not close the tool in the middle of an update; only
            // Close and the close box do.
            return 0;
        default:
            return std::nullopt;
    }
}

void CKivrelDlg::OnDeviceChange(WPARAM event, LPARAM header) {
    // Only arrival and removal carry a broadcast header; other events (DBT_DEVNODES_CHANGED)
    // come with lParam 0 and are not looked at.
    if (!model || (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)) return;
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_HDR*>(header);
    if (broadcast == nullptr || broadcast->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return;
    const auto* deviceInterface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    model->OnDeviceChange(
        event == DBT_DEVICEARRIVAL ? DeviceEvent::Arrival : DeviceEvent::RemoveComplete,
        ClassIndex(deviceInterface->dbcc_classguid), deviceInterface->dbcc_name);
}

void CKivrelDlg::OnDropFiles(HDROP drop) {
    std::vector<std::wstring> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count > 0) {
        // The whole name, however long.
        const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        const UINT copied = ::DragQueryFileW(drop, 0, path.data(), length + 1);
        path.resize(copied);
        paths.push_back(std::move(path));
    }
    ::DragFinish(drop);
    if (model) model->OnDropFiles(paths);
}

bool CKivrelDlg::OnPaintIconic() {
    HWND window = Window();
    if (!::IsIconic(window)) return false;
    PAINTSTRUCT paint;
    HDC context = ::BeginPaint(window, &paint);
    ::SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client;
    ::GetClientRect(window, &client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(context, x, y, icon);
    ::EndPaint(window, &paint);
    return true;
}

void CKivrelDlg::AttachControls() {
    progressBar.Attach(Item(kIdProgress));
    // Each button gets its shading first, then its icon and text.
    const struct {
        CShadeButtonST& button;
        int id;
        int icon;
        const wchar_t* text;
    } buttons[] = {
        {openButton, kIdOpen, kIdIconOpen, L"Open"},
        {closeButton, kIdClose, kIdIconClose, L"Close"},
        {settingButton, kIdSetting, kIdIconSetting, L"Setting"},
        {updateButton, kIdUpdate, kIdIconUpdate, L"Update"},
    };
    for (const auto& b : buttons) {
        b.button.Attach(Item(b.id));
        b.button.SetShade();
        b.button.SetIcon(b.icon);
        ::SetWindowTextW(Item(b.id), b.text);
    }
}

HWND CKivrelDlg::ButtonWindow(MainButton button) const {
    switch (button) {
        case MainButton::Open:
            return Item(kIdOpen);
        case MainButton::Update:
            return Item(kIdUpdate);
        case MainButton::Setting:
            return Item(kIdSetting);
    }
    return nullptr;
}

// ---- MainWindowView ----

void CKivrelDlg::SetTitle(std::wstring_view title) {
    ::SetWindowTextW(Window(), std::wstring(title).c_str());
}

void CKivrelDlg::SetStatusText(std::wstring_view text) {
    ::SetDlgItemTextW(Window(), kIdStatus, std::wstring(text).c_str());
}

void CKivrelDlg::EnableButton(MainButton button, bool enabled) {
    ::EnableWindow(ButtonWindow(button), enabled ? TRUE : FALSE);
}

void CKivrelDlg::SetProgressRange(std::uint32_t upper) {
    ::SendDlgItemMessageW(Window(), kIdProgress, PBM_SETRANGE32, 0, static_cast<LPARAM>(upper));
}

void CKivrelDlg::SetProgressPosition(std::uint32_t position) {
    ::SendDlgItemMessageW(Window(), kIdProgress, PBM_SETPOS, position, 0);
}

void CKivrelDlg::SetProgressText(std::wstring_view text) {
    ::SetDlgItemTextW(Window(), kIdProgress, std::wstring(text).c_str());
}

void CKivrelDlg::StartTimer(unsigned id, unsigned periodMs) {
    ::SetTimer(Window(), id, periodMs, nullptr);
}

void CKivrelDlg::KillTimer(unsigned id) {
    if (Window() != nullptr) ::KillTimer(Window(), id);
}

bool CKivrelDlg::ChooseUpdateFile(std::wstring& path) {
    std::vector<wchar_t> buffer(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Window();
    dialog.lpstrFilter = kOpenFilter;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrDefExt = L"file";
    dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!::GetOpenFileNameW(&dialog)) return false;
    path = buffer.data();
    return true;
}

void CKivrelDlg::OpenFolder(const std::wstring& folder) {
    ::ShellExecuteW(Window(), L"open", folder.c_str(), nullptr, nullptr, SW_SHOW);
}

void CKivrelDlg::EndWindow() {
    threadWindow = nullptr;
    EndDialog(IDOK);
}

// ---- WindowThread ----

std::intptr_t CKivrelDlg::Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    HWND window = threadWindow.load();
    if (window == nullptr) return 0;
    return static_cast<std::intptr_t>(
        ::SendMessageW(window, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

bool CKivrelDlg::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    HWND window = threadWindow.load();
    return window != nullptr && ::PostMessageW(window, message, static_cast<WPARAM>(wParam),
                                               static_cast<LPARAM>(lParam)) != 0;
}

}  // namespace kivrel
