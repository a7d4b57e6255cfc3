#include "app/kivrel_dlg_win32.h"

#include "app/control_ids.h"

namespace kivrel {

BOOL CKivrelDlg::OnInitDialog() {
    AttachControls();
    ::SetFocus(Item(kIdUpdate));
    return FALSE;  // the focus is set: Update
}

void CKivrelDlg::AttachControls() {
    progressBar.Attach(Item(kIdProgress));
    // Each button gets its shading first, then its icon and text.
    const struct {
        CShadeButtonST& button;
        int id;
        int icon;
        const wchar_t* text;
    } buttons[] = {
        {openButton, kIdOpen, kIdIconOpen, L"Open"},
        {closeButton, kIdClose, kIdIconClose, L"Close"},
        {settingButton, kIdSetting, kIdIconSetting, L"Setting"},
        {updateButton, kIdUpdate, kIdIconUpdate, L"Update"},
    };
    for (const auto& b : buttons) {
        b.button.Attach(Item(b.id));
        b.button.SetShade();
        b.button.SetIcon(b.icon);
        ::SetWindowTextW(Item(b.id), b.text);
    }
}

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
