#include "ui/dialog_base_win32.h"

namespace kivrel {

INT_PTR DialogBase::RunModal(HINSTANCE instance, int templateId, HWND parent) {
    return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), parent, &DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogBase*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->hwnd = window;
        try {
            return self->OnInitDialog();
        } catch (...) {
            // A window procedure is the last line: a failure here must not cross into
            // the system's code.
            ::EndDialog(window, -1);
            return FALSE;
        }
    }
    auto* self = reinterpret_cast<DialogBase*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    std::optional<LRESULT> result;
    try {
        result = self->OnMessage(message, wParam, lParam);
    } catch (...) {
        result.reset();
    }
    if (message == WM_NCDESTROY) self->hwnd = nullptr;
    if (!result) return FALSE;
    switch (message) {
        // These few return their value from the dialog procedure itself (a brush, an icon, an
        // index) instead of through DWLP_MSGRESULT.
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(*result);
        default:
            ::SetWindowLongPtrW(window, DWLP_MSGRESULT, *result);
            return TRUE;
    }
}

}  // namespace kivrel
