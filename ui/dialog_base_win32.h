#pragma once
// A thin base for dialogs made from templates: it routes the messages of one dialog to the
// member functions of one object. Windows only.

#include <windows.h>

#include <optional>

namespace kivrel {

class DialogBase {
public:
    DialogBase() = default;
    virtual ~DialogBase() = default;
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // Runs the dialog modally; returns the value given to EndDialog, or -1 when the dialog
    // could not be created.
    INT_PTR RunModal(HINSTANCE instance, int templateId, HWND parent);

    [[nodiscard]] HWND Window() const noexcept { return hwnd; }
    [[nodiscard]] HWND Item(int id) const noexcept { return ::GetDlgItem(hwnd, id); }

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    // Handles one message. Returns the message's result when handled; nothing hands the
    // message to the system's dialog handling.
    virtual std::optional<LRESULT> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    void EndDialog(INT_PTR result) { ::EndDialog(hwnd, result); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd = nullptr;
};

}  // namespace kivrel
