#include "base/prompts_win32.h"

#include <string>

namespace kivrel {

int MessageBoxPrompts::Show(std::wstring_view text, const wchar_t* caption, UINT type) {
    const std::wstring body(text);
    return ::MessageBoxW(owner != nullptr ? owner : ::GetActiveWindow(), body.c_str(), caption,
                         type);
}

void MessageBoxPrompts::ShowError(std::wstring_view text) {
    // No caption: the system's default one.
    Show(text, nullptr, MB_OK | MB_ICONERROR);
}

void MessageBoxPrompts::ShowInformation(std::wstring_view text, std::wstring_view caption) {
    Show(text, std::wstring(caption).c_str(), MB_OK | MB_ICONINFORMATION);
}

void MessageBoxPrompts::ShowMessage(std::wstring_view text, std::wstring_view caption) {
    Show(text, std::wstring(caption).c_str(), MB_OK);
}

bool MessageBoxPrompts::AskYesNo(std::wstring_view text, std::wstring_view caption) {
    return Show(text, std::wstring(caption).c_str(), MB_YESNO) == IDYES;
}

}  // namespace kivrel
