#include "tests/win/win_test_support.h"

namespace kivrel {

std::wstring ProgramPath(const std::wstring& fileName) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + fileName;
}

ChildProcess ChildProcess::Start(const std::wstring& program, const std::wstring& arguments) {
    ChildProcess child;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &info)) {
        ::CloseHandle(info.hThread);
        child.process.Reset(info.hProcess);
    }
    return child;
}

bool ChildProcess::Running() const {
    return process.Valid() && ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::WaitForExit(DWORD milliseconds) {
    if (!process.Valid()) return true;
    // Keep this thread's windows answering while we wait: the child may talk to them.
    const DWORD end = ::GetTickCount() + milliseconds;
    for (;;) {
        PumpMessages();
        if (::WaitForSingleObject(process.Get(), 20) == WAIT_OBJECT_0) return true;
        if (static_cast<LONG>(::GetTickCount() - end) >= 0) return false;
    }
}

DWORD ChildProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process.Valid()) ::GetExitCodeProcess(process.Get(), &code);
    return code;
}

void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
    const DWORD end = ::GetTickCount() + milliseconds;
    for (;;) {
        PumpMessages();
        if (condition()) return true;
        if (static_cast<LONG>(::GetTickCount() - end) >= 0) return condition();
        ::Sleep(20);
    }
}

HWND WaitForWindow(const wchar_t* className, DWORD milliseconds) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = ::FindWindowW(className, nullptr);
            return found != nullptr && ::IsWindowVisible(found);
        },
        milliseconds);
    return found;
}

TopLevelWindow::TopLevelWindow(const wchar_t* title, const wchar_t* className) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    ::RegisterClassW(&windowClass);  // already registered is fine
    window = ::CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300,
                               200, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    PumpMessages();
}

TopLevelWindow::~TopLevelWindow() {
    if (window != nullptr) ::DestroyWindow(window);
}

void TopLevelWindow::MakeForeground() {
    ::SetForegroundWindow(window);
    WaitUntil([&] { return ::GetForegroundWindow() == window; }, 2000);
}

}  // namespace kivrel
