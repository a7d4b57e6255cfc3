#pragma once
// Helpers for the Windows tests: starting programs next to the test, waiting for windows,
// making plain top-level windows.

#include <windows.h>

#include <functional>
#include <string>

#include "base/win32_handle.h"

namespace kivrel {

// Full path of a program built into the same folder as the running test.
std::wstring ProgramPath(const std::wstring& fileName);

class ChildProcess {
public:
    // Starts `program` with `arguments`; Running() is false when it could not be started.
    static ChildProcess Start(const std::wstring& program, const std::wstring& arguments);
    [[nodiscard]] bool Running() const;
    // True when the process ended within the time.
    bool WaitForExit(DWORD milliseconds);
    [[nodiscard]] DWORD ExitCode() const;

private:
    UniqueKernelHandle process;
};

// Polls until the condition holds or the time is up; returns the last result.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds);
// The first top-level window of the class that appears within the time, or null.
HWND WaitForWindow(const wchar_t* className, DWORD milliseconds);

// A visible top-level window owned by the test, destroyed with the object.
class TopLevelWindow {
public:
    explicit TopLevelWindow(const wchar_t* title, const wchar_t* className = L"KivrelTestWindow");
    ~TopLevelWindow();
    TopLevelWindow(const TopLevelWindow&) = delete;
    TopLevelWindow& operator=(const TopLevelWindow&) = delete;
    [[nodiscard]] HWND Get() const { return window; }
    void MakeForeground();

private:
    HWND window = nullptr;
};

// Handles the messages waiting for this thread's windows.
void PumpMessages();

}  // namespace kivrel
