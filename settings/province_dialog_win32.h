#pragma once
// CDialogProvince: the province window (template 137) as a thin view over
// ProvinceSelectionModel, with the province map stretched behind its boxes. It draws, and
// turns clicks into the model's calls. Windows only.

#include <windows.h>

#include <string>

#include "settings/province_selection.h"
#include "ui/dialog_base_win32.h"
#include "ui/scoped_gdi_win32.h"

namespace kivrel {

class CDialogProvince : public DialogBase, public ProvinceView {
public:
    // `map` is lent by the caller for the window's life; null paints no picture.
    CDialogProvince(Prompts& prompts, HBITMAP map);

    // IDOK when the choice is made (Selection() holds it), IDCANCEL for the close box or
    // Escape, -1 when the window could not be made.
    INT_PTR DoModal(HINSTANCE instance, HWND parent);
    [[nodiscard]] const ProvinceSelection& Selection() const noexcept { return model.Selection(); }

    // ProvinceView
    void SetChecked(int id, bool checked) override;
    void SetText(int id, std::wstring_view text) override;
    void EndWindow(bool accepted) override;

protected:
    BOOL OnInitDialog() override;
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::optional<LRESULT> OnCommand(WPARAM wParam);
    std::optional<LRESULT> OnCtlColorStatic(HDC dc, HWND control);
    bool OnEraseBackground(HDC dc);
    // Widens a label to the right, within the window, when `text` would not fit on one line.
    void FitWidthToText(int id, const std::wstring& text);

    ProvinceSelectionModel model;
    HBITMAP map;
    UniqueFont font;  // Arial 15
};

// The province window as the main window runs it: modal over `parent`.
class ProvinceWindowWin32 : public ProvinceWindow {
public:
    ProvinceWindowWin32(HINSTANCE instance, HWND parent, HBITMAP map, Prompts& prompts) noexcept
        : instance(instance), parent(parent), map(map), prompts(prompts) {}
    [[nodiscard]] bool Run(ProvinceSelection& chosen) override;

private:
    HINSTANCE instance;
    HWND parent;
    HBITMAP map;
    Prompts& prompts;
};

}  // namespace kivrel
