#include "app/kivrel_dlg_win32.h"

#include "app/control_ids.h"

namespace kivrel {

BOOL CKivrelDlg::OnInitDialog() { return TRUE; }

std::optional<LRESULT> CKivrelDlg::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_COMMAND:
            return OnCommand(wParam);
        case WM_CLOSE:
            OnClose();
            return 0;
        default:
            return std::nullopt;
    }
}

std::optional<LRESULT> CKivrelDlg::OnCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case kIdClose:
            EndDialog(IDOK);
            return 0;
        case IDOK:
        case IDCANCEL:
            // Enter and Escape must not close the tool in the middle of an update; only
            // Close and the close box do.
            return 0;
        default:
            return std::nullopt;
    }
}

void CKivrelDlg::OnClose() { EndDialog(IDCANCEL); }

}  // namespace kivrel
