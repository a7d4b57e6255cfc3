#include "app/kivrel_app_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "app/control_ids.h"
#include "app/kivrel_dlg_win32.h"
#include "base/prompts.h"

namespace kivrel {
namespace {

constexpr wchar_t kMutexName[] = L"KV_APP_ONE_HANDLE";
// The main window's class first; the other two are those of sibling tools that share the
// mutex, so a second start brings whichever of them runs to the front.
constexpr const wchar_t* kRunningCopyClasses[] = {L"UPDATE_FLASH_CLASS", L"UPDATE_PROGRAM_CLASS",
                                                  L"UPDATE_DATA_CLASS"};

}  // namespace

bool CKivrelApp::InitInstance(HINSTANCE instance) {
    oneInstanceMutex.Reset(::CreateMutexW(nullptr, FALSE, kMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        oneInstanceMutex.Reset();
        ActivateRunningCopy();
        return false;
    }

    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    ::InitCommonControlsEx(&controls);
    RegisterMainWindowClass(instance);  // a failure shows as a dialog that cannot be created

    KivrelCommandLine commandLine;
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::wstring error;
    const bool understood =
        argv == nullptr || ParseKivrelCommandLine(argc - 1, argv + 1, commandLine, error);
    if (argv != nullptr) ::LocalFree(argv);
    if (!understood) {
        ::MessageBoxW(nullptr, error.c_str(), kToolCaption.data(), MB_OK | MB_ICONERROR);
        return false;
    }

    CKivrelDlg dialog(std::move(commandLine));
    dialog.RunModal(instance, kIdMainDialog, nullptr);
    return false;
}

int CKivrelApp::ExitInstance() {
    oneInstanceMutex.Reset();
    return 0;
}

bool CKivrelApp::ActivateRunningCopy() {
    HWND found = nullptr;
    for (const wchar_t* className : kRunningCopyClasses) {
        found = ::FindWindowW(className, nullptr);
        if (found != nullptr) break;
    }
    if (found == nullptr) return false;

    // Windows only lets the thread that owns the foreground take it away, so borrow that
    // thread's input state for the switch.
    const DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    const DWORD thisThread = ::GetCurrentThreadId();
    ::AttachThreadInput(thisThread, foregroundThread, TRUE);
    ::ShowWindow(found, SW_SHOWNORMAL);
    ::SetWindowPos(found, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(found, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(found);
    ::AttachThreadInput(thisThread, foregroundThread, FALSE);
    return true;
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    // The main window is a system dialog under a class name of its own, so a second copy can
    // find it. The system class is looked up without an instance.
    WNDCLASSW windowClass{};
    if (!::GetClassInfoW(nullptr, L"#32770", &windowClass)) return false;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kMainWindowClass;
    return ::RegisterClassW(&windowClass) != 0;
}

}  // namespace kivrel
