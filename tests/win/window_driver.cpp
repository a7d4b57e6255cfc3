// Looks at Kivrel.exe's window from another process, for the end-to-end test that drives it
// with real mouse clicks (xdotool): where a control is on the screen, whether it is enabled,
// the window's title, and the message box it shows. Windows only; run under Wine.
//
//   window_driver title
//   window_driver wait-title TEXT SECONDS      the title contains TEXT
//   window_driver center ID                    "X Y": a control's centre on the screen
//   window_driver wait-enabled ID SECONDS
//   window_driver wait-box SECONDS [ID]        prints the box's text; then "X Y" of its
//                                              button ID (default: OK or Yes)
//   window_driver gone SECONDS                 the window has closed
//
// Exit status 0 when it found what it was asked for, 1 otherwise.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/win/window_text.h"

namespace {

using kivrel::test::BoxText;
using kivrel::test::TextOf;

constexpr wchar_t kMainWindowClass[] = L"UPDATE_FLASH_CLASS";

HWND MainWindow() {
    return ::FindWindowW(kMainWindowClass, nullptr);
}

void PrintUtf8(const std::wstring& text) {
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    std::printf("%s\n", out.c_str());
}

template <typename Check>
bool WaitFor(double seconds, Check check) {
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    do {
        if (check()) return true;
        ::Sleep(100);
    } while (::GetTickCount64() < deadline);
    return check();
}

void PrintCenter(HWND control) {
    RECT rect;
    ::GetWindowRect(control, &rect);
    std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

// A visible dialog owned by the main window: a message box or one of the tool's windows.
HWND OwnedDialog() {
    struct Search {
        HWND owner;
        HWND found;
    } search{MainWindow(), nullptr};
    if (search.owner == nullptr) return nullptr;
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t className[64] = {};
            ::GetClassNameW(window, className, 64);
            if (::IsWindowVisible(window) && std::wcscmp(className, L"#32770") == 0 &&
                ::GetWindow(window, GW_OWNER) == s->owner) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring command = argv[1];
    const auto number = [&](int index, double fallback) {
        return argc > index ? std::wcstod(argv[index], nullptr) : fallback;
    };
    if (command == L"title") {
        HWND window = MainWindow();
        if (window == nullptr) return 1;
        PrintUtf8(TextOf(window));
        return 0;
    }
    if (command == L"wait-title" && argc >= 3) {
        const std::wstring wanted = argv[2];
        const bool found = WaitFor(number(3, 30), [&] {
            HWND window = MainWindow();
            return window != nullptr && TextOf(window).find(wanted) != std::wstring::npos;
        });
        if (HWND window = MainWindow()) PrintUtf8(TextOf(window));
        return found ? 0 : 1;
    }
    if (command == L"center" && argc >= 3) {
        HWND control = ::GetDlgItem(MainWindow(), static_cast<int>(number(2, 0)));
        if (control == nullptr) return 1;
        PrintCenter(control);
        return 0;
    }
    if (command == L"wait-enabled" && argc >= 3) {
        const int id = static_cast<int>(number(2, 0));
        return WaitFor(number(3, 30),
                       [&] {
                           HWND control = ::GetDlgItem(MainWindow(), id);
                           return control != nullptr && ::IsWindowEnabled(control);
                       })
                   ? 0
                   : 1;
    }
    if (command == L"wait-box") {
        HWND box = nullptr;
        if (!WaitFor(number(2, 30), [&] { return (box = OwnedDialog()) != nullptr; })) return 1;
        ::Sleep(300);  // let it finish laying out its text
        PrintUtf8(BoxText(box));
        if (argc >= 4) {
            HWND button = ::GetDlgItem(box, static_cast<int>(number(3, 0)));
            if (button == nullptr) return 1;
            PrintCenter(button);
            return 0;
        }
        for (int id : {IDOK, IDYES}) {
            if (HWND button = ::GetDlgItem(box, id)) {
                PrintCenter(button);
                return 0;
            }
        }
        return 1;
    }
    if (command == L"gone") {
        return WaitFor(number(2, 30), [] { return MainWindow() == nullptr; }) ? 0 : 1;
    }
    return 2;
}
