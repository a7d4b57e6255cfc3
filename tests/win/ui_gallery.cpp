// A window that shows the skinned controls in their states, for screenshots: the text
// progress bar at 0, 37 and 100 per cent with and without its own text, and the shaded image
// buttons at rest, under the mouse, pressed, with the grey rest icon and disabled.
// Usage: scripts/screenshot OUT.png "Kivrel controls" -- build/windows/bin/ui_gallery.exe

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

#include "ui/shade_button_st_win32.h"
#include "ui/text_progress_ctrl_win32.h"

namespace kivrel {
namespace {

constexpr wchar_t kClass[] = L"KivrelControlGallery";
constexpr int kIconClose = 129, kIconUpdate = 130, kIconOpen = 131, kIconSetting = 142;
constexpr UINT_PTR kHoverTimer = 1;

struct Gallery {
    HFONT font = nullptr;
    std::vector<std::unique_ptr<CTextProgressCtrl>> bars;
    std::vector<std::unique_ptr<CShadeButtonST>> buttons;
    HWND hoverTarget = nullptr;
};

Gallery gallery;

HWND Child(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y,
           int w, int h) {
    const HWND child = ::CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, w,
                                         h, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(gallery.font), FALSE);
    return child;
}

void AddBar(HWND parent, int y, const wchar_t* label, int position, const wchar_t* text) {
    Child(parent, L"Static", label, SS_RIGHT, 8, y + 5, 70, 16);
    const HWND window = Child(parent, PROGRESS_CLASSW, L"", 0, 86, y, 387, 26);
    auto bar = std::make_unique<CTextProgressCtrl>();
    bar->Attach(window);
    ::SendMessageW(window, PBM_SETRANGE32, 0, 1000);
    ::SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    ::SetWindowTextW(window, text);
    gallery.bars.push_back(std::move(bar));
}

CShadeButtonST& AddButton(HWND parent, const wchar_t* text, int x, int y, int w, int h, int icon,
                          int iconOut = 0) {
    const HWND window = Child(parent, L"Button", text, BS_PUSHBUTTON | WS_TABSTOP, x, y, w, h);
    auto button = std::make_unique<CShadeButtonST>();
    button->Attach(window);
    button->SetShade();
    button->SetIcon(icon, iconOut);
    gallery.buttons.push_back(std::move(button));
    return *gallery.buttons.back();
}

void Build(HWND window) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW face{};
    face.lfHeight = -11;  // 8 points at 96 dpi, as the dialogs' font
    ::lstrcpyW(face.lfFaceName, L"MS Shell Dlg");
    gallery.font = ::CreateFontIndirectW(&face);

    AddBar(window, 12, L"0 %", 0, L"");
    AddBar(window, 46, L"37 %", 375, L"");
    AddBar(window, 80, L"100 %", 1000, L"");
    AddBar(window, 114, L"37 % text", 375, L"Updated 37.50%   Time 12 Second");
    AddBar(window, 148, L"100 % text", 1000, L"Update Successfully!");

    Child(window, L"Static", L"rest", SS_CENTER, 8, 188, 126, 16);
    Child(window, L"Static", L"mouse over", SS_CENTER, 142, 188, 126, 16);
    Child(window, L"Static", L"pressed", SS_CENTER, 276, 188, 126, 16);
    AddButton(window, L"Setting", 8, 206, 126, 45, kIconSetting);
    gallery.hoverTarget = AddButton(window, L"Update", 142, 206, 126, 45, kIconUpdate).Window();
    const HWND pressed = AddButton(window, L"Close", 276, 206, 126, 45, kIconClose).Window();
    ::SendMessageW(pressed, BM_SETSTATE, TRUE, 0);
    AddButton(window, L"Open", 410, 212, 63, 33, kIconOpen);

    Child(window, L"Static", L"grey rest icon", SS_CENTER, 8, 262, 126, 16);
    Child(window, L"Static", L"disabled", SS_CENTER, 142, 262, 126, 16);
    AddButton(window, L"Close", 8, 280, 126, 45, kIconClose, CButtonST::kAutoGreyIcon);
    const HWND disabled =
        AddButton(window, L"Update", 142, 280, 126, 45, kIconUpdate, CButtonST::kAutoGreyIcon)
            .Window();
    ::EnableWindow(disabled, FALSE);
    const HWND disabledOpen = AddButton(window, L"Open", 276, 286, 63, 33, kIconOpen).Window();
    ::EnableWindow(disabledOpen, FALSE);
}

LRESULT CALLBACK GalleryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            Build(window);
            ::SetTimer(window, kHoverTimer, 300, nullptr);
            return 0;
        case WM_TIMER: {
            // Put the mouse over one button, so the picture shows the hover look.
            ::KillTimer(window, kHoverTimer);
            RECT target{};
            ::GetWindowRect(gallery.hoverTarget, &target);
            ::SetCursorPos((target.left + target.right) / 2, target.bottom - 6);
            return 0;
        }
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace
}  // namespace kivrel

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    using namespace kivrel;
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &GalleryProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kClass;
    ::RegisterClassW(&windowClass);

    RECT frame{0, 0, 481, 335};
    ::AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    const HWND window = ::CreateWindowExW(
        0, kClass, L"Kivrel controls", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(window, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return 0;
}
