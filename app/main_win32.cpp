// Kivrel.exe's entry point.

#include "app/kivrel_app_win32.h"

namespace {
kivrel::CKivrelApp theApp;  // the one application object
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    theApp.InitInstance(instance);
    return theApp.ExitInstance();
}
