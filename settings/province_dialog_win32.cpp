#include "settings/province_dialog_win32.h"

#include <algorithm>
#include <string>

namespace kivrel {

CDialogProvince::CDialogProvince(Prompts& prompts, HBITMAP map)
    : model(prompts, *this),
      map(map),
      font(::CreateFontW(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, L"Arial")) {}

INT_PTR CDialogProvince::DoModal(HINSTANCE instance, HWND parent) {
    return RunModal(instance, kIdProvinceDialog, parent);
}

BOOL CDialogProvince::OnInitDialog() {
    for (int id : {kIdProvinceCounter, kIdProvinceAdvice, kIdNationalBox}) {
        ::SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
    }
    // In 15-pixel Arial the counter's text is wider than its box at the usual 96 dpi: it would
    // wrap, and the wrapped line with the count falls below the box, unseen.
    FitWidthToText(kIdProvinceCounter, ProvinceCounterText(kProvinceLimit));
    model.Start();
    return TRUE;
}

void CDialogProvince::FitWidthToText(int id, const std::wstring& text) {
    const HWND control = Item(id);
    RECT needed{};
    {
        const WindowDc dc(control);
        if (dc.Get() == nullptr) return;
        const ScopedSelect measuredFont(dc.Get(), font.Get());
        ::DrawTextW(dc.Get(), text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    }

    RECT place{};
    ::GetWindowRect(control, &place);
    ::MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&place), 2);
    RECT client{};
    ::GetClientRect(Window(), &client);
    const LONG width = std::min<LONG>(needed.right + 2, client.right - place.left);
    if (width <= place.right - place.left) return;
    ::SetWindowPos(control, nullptr, 0, 0, width, place.bottom - place.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<LRESULT> CDialogProvince::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return OnCommand(wParam);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_ERASEBKGND:
            if (OnEraseBackground(reinterpret_cast<HDC>(wParam))) return TRUE;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<LRESULT> CDialogProvince::OnCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    if (HIWORD(wParam) != BN_CLICKED) return std::nullopt;
    if (id == IDOK) {
        model.OnOk();
        return 0;
    }
    if (id == IDCANCEL) {
        model.OnCancel();
        return 0;
    }
    const bool checked = ::IsDlgButtonChecked(Window(), id) == BST_CHECKED;
    if (id == kIdNationalBox) {
        model.OnNationalClicked(checked);
        return 0;
    }
    if (const int entry = ProvinceEntryOfBox(id); entry >= 0) {
        model.OnProvinceClicked(static_cast<std::size_t>(entry), checked);
        return 0;
    }
    return std::nullopt;
}

std::optional<LRESULT> CDialogProvince::OnCtlColorStatic(HDC dc, HWND control) {
    const int id = ::GetDlgCtrlID(control);
    COLORREF colour = 0;
    if (id == kIdNationalBox) {
        colour = RGB(0, 255, 0);
    } else if (id == kIdProvinceCounter || id == kIdProvinceAdvice) {
        colour = RGB(255, 0, 0);
    } else {
        return std::nullopt;
    }
    ::SetTextColor(dc, colour);
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
}

bool CDialogProvince::OnEraseBackground(HDC dc) {
    BITMAP info{};
    if (map == nullptr || ::GetObjectW(map, sizeof info, &info) == 0) return false;
    RECT client{};
    ::GetClientRect(Window(), &client);
    const UniqueMemoryDc source(::CreateCompatibleDC(dc));
    if (!source.Valid()) return false;
    const ScopedSelect picture(source.Get(), map);
    ::SetStretchBltMode(dc, HALFTONE);
    ::StretchBlt(dc, 0, 0, client.right, client.bottom, source.Get(), 0, 0, info.bmWidth,
                 info.bmHeight, SRCCOPY);
    return true;
}

void CDialogProvince::SetChecked(int id, bool checked) {
    ::CheckDlgButton(Window(), id, checked ? BST_CHECKED : BST_UNCHECKED);
    ::InvalidateRect(Item(id), nullptr, TRUE);
}

void CDialogProvince::SetText(int id, std::wstring_view text) {
    ::SetDlgItemTextW(Window(), id, std::wstring(text).c_str());
}

void CDialogProvince::EndWindow(bool accepted) {
    EndDialog(accepted ? IDOK : IDCANCEL);
}

bool ProvinceWindowWin32::Run(ProvinceSelection& chosen) {
    CDialogProvince dialog(prompts, map);
    if (dialog.DoModal(instance, parent) != IDOK) return false;
    chosen = dialog.Selection();
    return true;
}

}  // namespace kivrel
