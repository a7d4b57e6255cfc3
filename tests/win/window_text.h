#pragma once
// What a window shows, read the same way by the tests that run the main window in their own
// process and by the driver that looks at Kivrel.exe from outside.

#include <windows.h>

#include <cwchar>
#include <string>

namespace kivrel::test {

inline std::wstring TextOf(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

// The texts of a message box: its static controls, in order.
inline std::wstring BoxText(HWND box) {
    std::wstring text;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
            wchar_t className[64] = {};
            ::GetClassNameW(child, className, 64);
            if (std::wcscmp(className, L"Static") == 0) {
                *reinterpret_cast<std::wstring*>(data) += TextOf(child);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

}  // namespace kivrel::test
