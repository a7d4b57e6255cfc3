#pragma once
// The application object: one copy at a time, then the main window run modally.

#include "base/win32_handle.h"

namespace kivrel {

class CKivrelApp {
public:
    // Runs the whole tool; returns false in every case, as there is no message loop of the
    // application's own: the main window's modal loop is the tool's lifetime.
    bool InitInstance(HINSTANCE instance);
    // Closes the single-instance mutex; returns the process exit code.
    int ExitInstance();

private:
    // Brings the window of an already running copy to the front; false when none is found.
    static bool ActivateRunningCopy();
    static bool RegisterMainWindowClass(HINSTANCE instance);

    UniqueKernelHandle oneInstanceMutex;
};

}  // namespace kivrel
