#pragma once
// The application object: one copy at a time, then the main window run modally.

#include "base/win32_handle.h"

namespace kivrel {

// Registers the main window's class, "UPDATE_FLASH_CLASS", as a copy of the system's dialog
// class, so a second copy can find the window by it.
bool RegisterMainWindowClass(HINSTANCE instance);

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

    UniqueKernelHandle oneInstanceMutex;
};

}  // namespace kivrel
