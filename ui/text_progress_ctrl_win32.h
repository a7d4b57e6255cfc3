#pragma once
// Windows only. CTextProgressCtrl: a progress control that paints itself, a filled and a
// remaining part with one line of text centred over both, drawn in one colour over the fill
// and another over the rest. The text is the window text when set, else the percentage.
//
// It is driven by the progress control's and the window's ordinary messages (PBM_SETRANGE32,
// PBM_SETPOS, WM_SETTEXT, WM_GETTEXT, ...), so any thread may drive it through
// SendMessage; the members below send those messages too.

#include <windows.h>

#include <string>

#include "ui/text_progress_model.h"
#include "ui/window_subclass_win32.h"

namespace kivrel {

class CTextProgressCtrl : public SubclassedControl {
public:
    // Longest text read back by GetBarText, without its terminator.
    static constexpr int kMaxBarText = 1023;

    // Reads the four colours from the system.
    CTextProgressCtrl();

    // Previous position; -1 (and nothing changes) when the control has no window.
    int SetPos(int position);
    void SetRange(int lower, int upper);
    // The bar's current text, at most kMaxBarText characters.
    [[nodiscard]] std::wstring GetBarText() const;
    void SetShowText(bool show);

    // Colours: the fill, the rest, the text over the fill and the text over the rest.
    void SetBarColour(COLORREF colour);
    void SetBackgroundColour(COLORREF colour);
    void SetTextColours(COLORREF onBar, COLORREF onRemaining);

    // What it shows; read on the window's thread.
    [[nodiscard]] const TextProgressModel& Model() const noexcept { return model; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;

private:
    [[nodiscard]] int ClientWidth() const;
    void Redraw();
    void Paint(HDC target);

    TextProgressModel model;
    COLORREF barColour;
    COLORREF remainingColour;
    COLORREF textOnRemaining;
    COLORREF textOnBar;
    HFONT font = nullptr;  // the one set on the control; not owned
};

}  // namespace kivrel
