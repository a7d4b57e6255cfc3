// How quickly Kivrel.exe's window answers while it writes an update: from another process,
// presses Update, then sends the window WM_NULL every 20 ms and times each answer until the
// success box shows. Prints the count, median, 99th percentile and worst answer times.
// Windows only; bench/window_response.sh runs it under Wine.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

HWND OwnedBox(HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (::IsWindowVisible(window) && ::GetWindow(window, GW_OWNER) == s->owner) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int wmain() {
    HWND window = nullptr;
    for (int i = 0; i < 600 && window == nullptr; ++i) {
        window = ::FindWindowW(L"UPDATE_FLASH_CLASS", nullptr);
        if (window == nullptr) ::Sleep(100);
    }
    if (window == nullptr) return 1;
    HWND update = ::GetDlgItem(window, 1002);
    for (int i = 0; i < 600 && !::IsWindowEnabled(update); ++i) ::Sleep(100);
    if (!::IsWindowEnabled(update)) return 1;

    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    ::PostMessageW(update, BM_CLICK, 0, 0);
    std::vector<double> answers;
    const ULONGLONG deadline = ::GetTickCount64() + 20 * 60 * 1000;
    HWND box = nullptr;
    while ((box = OwnedBox(window)) == nullptr && ::GetTickCount64() < deadline) {
        LARGE_INTEGER before;
        LARGE_INTEGER after;
        DWORD_PTR result = 0;
        ::QueryPerformanceCounter(&before);
        ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        ::QueryPerformanceCounter(&after);
        answers.push_back(static_cast<double>(after.QuadPart - before.QuadPart) * 1000.0 /
                          static_cast<double>(frequency.QuadPart));
        ::Sleep(20);
    }
    if (box == nullptr || answers.empty()) return 1;
    ::Sleep(200);
    std::wstring text;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
            wchar_t piece[256] = {};
            wchar_t className[32] = {};
            ::GetClassNameW(child, className, 32);
            if (std::wstring(className) == L"Static" && ::GetWindowTextW(child, piece, 256) > 0) {
                *reinterpret_cast<std::wstring*>(data) += piece;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    std::printf("the write ended with \"%ls\"\n", text.c_str());
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    std::sort(answers.begin(), answers.end());
    const auto at = [&](double share) {
        return answers[std::min(answers.size() - 1,
                                static_cast<std::size_t>(share * answers.size()))];
    };
    std::printf(
        "%zu answers during the write: median %.2f ms, 99th percentile %.2f ms, worst %.2f ms\n",
        answers.size(), at(0.5), at(0.99), answers.back());
    ::Sleep(500);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}
