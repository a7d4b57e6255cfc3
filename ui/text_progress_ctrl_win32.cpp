#include "ui/text_progress_ctrl_win32.h"

#include <commctrl.h>

#include "ui/gdi_colour_win32.h"
#include "ui/mem_dc_win32.h"
#include "ui/scoped_gdi_win32.h"

namespace kivrel {
namespace {

void DrawTextClipped(HDC dc, const std::wstring& text, RECT client, const RECT& clip,
                     COLORREF colour) {
    if (clip.right <= clip.left) return;
    const ScopedSaveDc saved(dc);  // the clip and the colour
    ::IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace

CTextProgressCtrl::CTextProgressCtrl()
    : barColour(::GetSysColor(COLOR_HIGHLIGHT)),
      remainingColour(::GetSysColor(COLOR_BTNSHADOW)),
      textOnRemaining(::GetSysColor(COLOR_BTNTEXT)),
      textOnBar(::GetSysColor(COLOR_WINDOW)) {}

void CTextProgressCtrl::OnAttached() {
    // The dialog gave the control its font before we were attached.
    font = reinterpret_cast<HFONT>(Default(WM_GETFONT, 0, 0));
    if (font == nullptr) {
        font = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(Window()), WM_GETFONT, 0, 0));
    }
    wchar_t text[kMaxBarText + 1] = {};
    Default(WM_GETTEXT, kMaxBarText + 1, reinterpret_cast<LPARAM>(text));
    model.SetText(text);
    ::InvalidateRect(Window(), nullptr, TRUE);
}

int CTextProgressCtrl::SetPos(int position) {
    if (Window() == nullptr) return -1;
    return static_cast<int>(::SendMessageW(Window(), PBM_SETPOS, static_cast<WPARAM>(position), 0));
}

void CTextProgressCtrl::SetRange(int lower, int upper) {
    if (Window() == nullptr) return;
    ::SendMessageW(Window(), PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

std::wstring CTextProgressCtrl::GetBarText() const {
    if (Window() == nullptr) return model.Text().substr(0, kMaxBarText);
    wchar_t text[kMaxBarText + 1] = {};
    const auto length =
        ::SendMessageW(Window(), WM_GETTEXT, kMaxBarText + 1, reinterpret_cast<LPARAM>(text));
    return std::wstring(text, static_cast<std::size_t>(length));
}

void CTextProgressCtrl::SetShowText(bool show) {
    model.SetShowText(show);
    if (Window() != nullptr) ::InvalidateRect(Window(), nullptr, TRUE);
}

void CTextProgressCtrl::SetBarColour(COLORREF colour) {
    barColour = colour;
    if (Window() != nullptr) ::InvalidateRect(Window(), nullptr, TRUE);
}

void CTextProgressCtrl::SetBackgroundColour(COLORREF colour) {
    remainingColour = colour;
    if (Window() != nullptr) ::InvalidateRect(Window(), nullptr, TRUE);
}

void CTextProgressCtrl::SetTextColours(COLORREF onBar, COLORREF onRemaining) {
    textOnBar = onBar;
    textOnRemaining = onRemaining;
    if (Window() != nullptr) ::InvalidateRect(Window(), nullptr, TRUE);
}

int CTextProgressCtrl::ClientWidth() const {
    RECT client{};
    ::GetClientRect(Window(), &client);
    return client.right - client.left;
}

void CTextProgressCtrl::Redraw() {
    ::InvalidateRect(Window(), nullptr, TRUE);
    ::UpdateWindow(Window());
}

void CTextProgressCtrl::Paint(HDC target) {
    RECT client{};
    ::GetClientRect(Window(), &client);
    CMemDC dc(target);

    const int fillRight = client.left + model.FillWidth(client.right - client.left);
    const RECT fill{client.left, client.top, fillRight, client.bottom};
    const RECT rest{fillRight, client.top, client.right, client.bottom};
    FillSolid(dc, fill, barColour);
    FillSolid(dc, rest, remainingColour);

    const std::wstring text = model.ShownText();
    if (text.empty()) return;
    ::SetBkMode(dc, TRANSPARENT);
    const ScopedSelect textFont(
        dc, font != nullptr ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
    DrawTextClipped(dc, text, client, fill, textOnBar);
    DrawTextClipped(dc, text, client, rest, textOnRemaining);
}

LRESULT CTextProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = ::BeginPaint(Window(), &paint);
            Paint(dc);
            ::EndPaint(Window(), &paint);
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND:
            return TRUE;  // the paint covers the whole client area
        case WM_SIZE: {
            const LRESULT result = Default(message, wParam, lParam);
            model.ForgetFill();
            return result;
        }
        case WM_SETTEXT: {
            const LRESULT result = Default(message, wParam, lParam);
            const auto* text = reinterpret_cast<const wchar_t*>(lParam);
            if (model.SetText(text != nullptr ? text : L"")) {
                ::InvalidateRect(Window(), nullptr, TRUE);
            }
            return result;
        }
        case WM_GETTEXT:
            return static_cast<LRESULT>(model.CopyText(reinterpret_cast<wchar_t*>(lParam),
                                                       static_cast<std::size_t>(wParam)));
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(model.Text().size());
        case WM_SETFONT:
            font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam) != 0) ::InvalidateRect(Window(), nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font);

        // The native control would repaint on every change; ours decides by pixels.
        case PBM_SETPOS: {
            const auto change = model.SetPosition(static_cast<int>(wParam), ClientWidth());
            if (change.redraw) Redraw();
            return change.previous;
        }
        case PBM_DELTAPOS:
            return WindowProc(PBM_SETPOS,
                              static_cast<WPARAM>(model.Position() + static_cast<int>(wParam)), 0);
        case PBM_STEPIT:
            return WindowProc(PBM_SETPOS, static_cast<WPARAM>(model.Position() + model.Step()), 0);
        case PBM_SETSTEP: {
            const int previous = model.Step();
            model.SetStep(static_cast<int>(wParam));
            return previous;
        }
        case PBM_SETRANGE:
        case PBM_SETRANGE32: {
            const LRESULT previous = MAKELONG(LOWORD(model.Lower()), LOWORD(model.Upper()));
            const bool wide = message == PBM_SETRANGE32;
            const int lower = wide ? static_cast<int>(wParam) : LOWORD(lParam);
            const int upper = wide ? static_cast<int>(lParam) : HIWORD(lParam);
            if (model.SetRange(lower, upper, ClientWidth())) Redraw();
            return previous;
        }
        case PBM_GETRANGE: {
            auto* range = reinterpret_cast<PBRANGE*>(lParam);
            if (range != nullptr) {
                range->iLow = model.Lower();
                range->iHigh = model.Upper();
            }
            return wParam != 0 ? model.Lower() : model.Upper();
        }
        case PBM_GETPOS:
            return model.Position();
        case PBM_SETBARCOLOR: {
            const COLORREF previous = barColour;
            SetBarColour(static_cast<COLORREF>(lParam));
            return previous;
        }
        case PBM_SETBKCOLOR: {
            const COLORREF previous = remainingColour;
            SetBackgroundColour(static_cast<COLORREF>(lParam));
            return previous;
        }
        default:
            return Default(message, wParam, lParam);
    }
}

}  // namespace kivrel
