#pragma once
// The main window: dialog template 102 over the main-window state. Windows only.

#include "base/dialog_base_win32.h"
#include "ui/shade_button_st_win32.h"
#include "ui/text_progress_ctrl_win32.h"

namespace kivrel {

class CKivrelDlg : public DialogBase {
protected:
    BOOL OnInitDialog() override;
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::optional<LRESULT> OnCommand(WPARAM wParam);
    void OnClose();
    void AttachControls();

    CTextProgressCtrl progressBar;
    CShadeButtonST openButton;
    CShadeButtonST closeButton;
    CShadeButtonST settingButton;
    CShadeButtonST updateButton;
};

}  // namespace kivrel
