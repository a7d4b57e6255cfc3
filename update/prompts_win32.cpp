#include "update/prompts_win32.h"

#include <string>

namespace kivrel {

void MessageBoxPrompts::ShowError(std::wstring_view text) {
    ::MessageBoxW(owner, std::wstring(text).c_str(), nullptr, MB_OK | MB_ICONERROR);
}

void MessageBoxPrompts::ShowInformation(std::wstring_view text, std::wstring_view caption) {
    ::MessageBoxW(owner, std::wstring(text).c_str(), std::wstring(caption).c_str(),
                  MB_OK | MB_ICONINFORMATION);
}

bool MessageBoxPrompts::AskYesNo(std::wstring_view text, std::wstring_view caption) {
    return ::MessageBoxW(owner, std::wstring(text).c_str(), std::wstring(caption).c_str(),
                         MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace kivrel
