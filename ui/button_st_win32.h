#pragma once
// Windows only. CButtonST: an owner-drawn push button that lights up while the mouse is over
// it (flat mode) and carries an icon or a bitmap beside its caption. Attach it to a button of
// a dialog template; it draws itself, its parent needs to know nothing about it.

#include <windows.h>

#include <string>
#include <utility>

#include "ui/button_look.h"
#include "ui/scoped_gdi_win32.h"
#include "ui/window_subclass_win32.h"

namespace kivrel {

class CButtonST : public SubclassedControl {
public:
    enum class ColourSlot {
        BackHovered,
        TextHovered,
        BackRest,
        TextRest,
        BackFocused,
        TextFocused
    };
    // As the rest-state icon: a grey copy of the hovered icon.
    static constexpr int kAutoGreyIcon = -2;

    CButtonST();
    ~CButtonST() override;

    // Icons from this program's resources, at the largest drawn size that fits the button's
    // height. `iconOut` 0: the same icon at rest; kAutoGreyIcon: its grey copy.
    bool SetIcon(int iconIn, int iconOut = 0);
    // Takes ownership of both (either may be null), freeing the previous icons and bitmaps.
    bool SetIcon(HICON iconIn, HICON iconOut);
    // Takes ownership of `iconIn`; the rest state shows its grey copy.
    bool SetIconAutoGrey(HICON iconIn);
    // Bitmaps instead of icons; pixels of the transparent colour are left out. Takes ownership.
    bool SetBitmaps(HBITMAP bitmapIn, COLORREF transparentIn, HBITMAP bitmapOut = nullptr,
                    COLORREF transparentOut = 0);

    void SetFlat(bool flat);
    void SetAlign(IconAlign align);
    void DrawBorder(bool draw);
    void DrawFlatFocus(bool draw);
    void SetAlwaysTrack(bool always) { alwaysTrack = always; }
    void DrawTransparent(bool transparent);
    void SetColour(ColourSlot slot, COLORREF colour);
    void SetDefaultColours();
    // Shown over the button; not owned (cursors from LoadCursor are shared).
    void SetBtnCursor(HCURSOR cursor) { handCursor = cursor; }
    // Opened with the shell's "open" verb, maximised, when the button is clicked.
    void SetURL(std::wstring url) { address = std::move(url); }
    void SetTooltipText(const std::wstring& text);
    void SetCheck(bool checked);
    [[nodiscard]] bool GetCheck() const noexcept { return look.checked; }

    [[nodiscard]] bool IsHovered() const noexcept { return hover.Hovered(); }
    [[nodiscard]] bool IsDefault() const noexcept { return look.isDefault; }
    [[nodiscard]] bool IsCheckBox() const noexcept { return look.checkBox; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool ParentProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnAttached() override;

    // The owner-draw entry: the whole button, in the order frame, background, border, image,
    // caption, focus.
    virtual void DrawItem(const DRAWITEMSTRUCT& item);
    // Fills the face (plan.area) with the state's background colour.
    virtual void DrawBackground(HDC dc, const DrawPlan& plan);
    // The flat-mode border: a one-pixel 3-D rectangle, sunken while pressed.
    virtual void DrawBorder(HDC dc, const RECT& area, bool pressed);

    void Repaint();

private:
    struct Image {
        UniqueIcon icon;
        UniqueBitmap bitmap;
        UniqueBitmap mask;  // for bitmaps: white where transparent
        PixelSize size;
    };

    void OnMouseMove(WPARAM keys);
    void OnHoverCleared();
    void OnClicked();
    void OnDisabled();
    void FreeImages();
    void PaintParentBackground(HDC dc, const RECT& area);
    void DrawImage(HDC dc, const DrawPlan& plan);
    void DrawCaption(HDC dc, const DrawPlan& plan);
    HICON LoadFittingIcon(int id);

    ButtonLook look;
    HoverTracker hover;
    bool alwaysTrack = true;
    Image imageIn;
    Image imageOut;
    HCURSOR handCursor = nullptr;
    std::wstring address;
    HWND tooltip = nullptr;
};

}  // namespace kivrel
