#include <windows.h>

#include "cli/terminal.h"

namespace kivrel::cli {
namespace {

// A console answers GetConsoleMode; pipes and files do not.
bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool StdinIsTerminal() {
    return IsConsole(STD_INPUT_HANDLE);
}
bool StderrIsTerminal() {
    return IsConsole(STD_ERROR_HANDLE);
}

}  // namespace kivrel::cli
