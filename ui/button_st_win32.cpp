#include "ui/button_st_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "ui/gdi_colour_win32.h"
#include "ui/grey_icon.h"
#include "ui/mem_dc_win32.h"
#include "ui/scoped_gdi_win32.h"

namespace kivrel {
namespace {

// The copies of an icon's mask and colour bitmaps that GetIconInfo makes for its caller.
class IconParts {
public:
    explicit IconParts(HICON icon) noexcept {
        if (icon == nullptr || !::GetIconInfo(icon, &info)) return;
        valid = true;
        mask.Reset(info.hbmMask);
        colour.Reset(info.hbmColor);
    }
    [[nodiscard]] bool Valid() const noexcept { return valid; }
    [[nodiscard]] const ICONINFO& Info() const noexcept { return info; }

private:
    ICONINFO info{};
    bool valid = false;
    UniqueBitmap mask;
    UniqueBitmap colour;
};

// An icon's size is twice its hot spot.
PixelSize IconSize(HICON icon) {
    const IconParts parts(icon);
    if (!parts.Valid()) return {};
    return {static_cast<int>(parts.Info().xHotspot * 2),
            static_cast<int>(parts.Info().yHotspot * 2)};
}

// A copy of `icon` whose colour image is grey (GreyPixels) and whose mask is the same.
HICON MakeGreyIcon(HICON icon) {
    const IconParts parts(icon);
    if (!parts.Valid()) return nullptr;
    const ICONINFO& info = parts.Info();
    BITMAP colour{};
    if (info.hbmColor == nullptr ||
        ::GetObjectW(info.hbmColor, sizeof(colour), &colour) != sizeof(colour)) {
        return ::CopyIcon(icon);  // black and white: already grey
    }
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = colour.bmWidth;
    format.bmiHeader.biHeight = colour.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    const WindowDc screen(nullptr);
    void* bits = nullptr;
    const UniqueBitmap greyColour(
        ::CreateDIBSection(screen.Get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!greyColour.Valid() ||
        ::GetDIBits(screen.Get(), info.hbmColor, 0, static_cast<UINT>(colour.bmHeight), bits,
                    &format, DIB_RGB_COLORS) != colour.bmHeight) {
        return nullptr;
    }
    GreyPixels({static_cast<std::uint8_t*>(bits),
                static_cast<std::size_t>(colour.bmWidth) * colour.bmHeight * 4});
    // The new icon gets copies of both bitmaps.
    ICONINFO greyInfo{TRUE, info.xHotspot, info.yHotspot, info.hbmMask, greyColour.Get()};
    return ::CreateIconIndirect(&greyInfo);
}

// A mask that is white where the bitmap has the transparent colour; those pixels of the
// bitmap are made black, so it can be ORed over what the mask leaves.
UniqueBitmap MakeMask(HBITMAP bitmap, COLORREF transparent, PixelSize size) {
    UniqueBitmap mask(::CreateBitmap(size.width, size.height, 1, 1, nullptr));
    const UniqueMemoryDc colourDc(::CreateCompatibleDC(nullptr));
    const UniqueMemoryDc maskDc(::CreateCompatibleDC(nullptr));
    if (!mask.Valid() || !colourDc.Valid() || !maskDc.Valid()) return mask;
    {
        const ScopedSelect colourSelection(colourDc.Get(), bitmap);
        const ScopedSelect maskSelection(maskDc.Get(), mask.Get());
        ::SetBkColor(colourDc.Get(), transparent);
        ::BitBlt(maskDc.Get(), 0, 0, size.width, size.height, colourDc.Get(), 0, 0, SRCCOPY);
        ::SetBkColor(colourDc.Get(), RGB(0, 0, 0));
        ::SetTextColor(colourDc.Get(), RGB(255, 255, 255));
        ::BitBlt(colourDc.Get(), 0, 0, size.width, size.height, maskDc.Get(), 0, 0, SRCAND);
    }
    return mask;
}

void Draw3dRect(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    FillSolid(dc, {r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillSolid(dc, {r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillSolid(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    FillSolid(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

CButtonST::CButtonST() {
    SetDefaultColours();
}

CButtonST::~CButtonST() {
    Detach();
    if (tooltip != nullptr && ::IsWindow(tooltip)) ::DestroyWindow(tooltip);
}

void CButtonST::OnAttached() {
    const auto style = static_cast<std::uint32_t>(::GetWindowLongPtrW(Window(), GWL_STYLE));
    const AttachedStyle attached = AttachStyle(style);
    look.checkBox = attached.checkBox;
    look.isDefault = attached.isDefault;
    ::SetWindowLongPtrW(Window(), GWL_STYLE, static_cast<LONG_PTR>(attached.style));
    ::SetWindowPos(Window(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    WatchParent();
    Repaint();
}

void CButtonST::Repaint() {
    if (Window() != nullptr) ::InvalidateRect(Window(), nullptr, FALSE);
}

// --- appearance --------------------------------------------------------------------------

void CButtonST::FreeImages() {
    imageIn = Image{};
    imageOut = Image{};
}

HICON CButtonST::LoadFittingIcon(int id) {
    RECT client{};
    ::GetClientRect(Window(), &client);
    const int size = FittingIconSize({client.right - client.left, client.bottom - client.top});
    const auto instance =
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(Window(), GWLP_HINSTANCE));
    for (const HINSTANCE module : {instance, ::GetModuleHandleW(nullptr)}) {
        const auto icon = static_cast<HICON>(
            ::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        if (icon != nullptr) return icon;
    }
    return nullptr;
}

bool CButtonST::SetIcon(int iconIn, int iconOut) {
    const HICON in = LoadFittingIcon(iconIn);
    if (in == nullptr) return false;
    if (iconOut == kAutoGreyIcon) return SetIconAutoGrey(in);
    return SetIcon(in, iconOut != 0 ? LoadFittingIcon(iconOut) : nullptr);
}

bool CButtonST::SetIcon(HICON iconIn, HICON iconOut) {
    FreeImages();
    imageIn = Image{UniqueIcon(iconIn), {}, {}, IconSize(iconIn)};
    imageOut = Image{UniqueIcon(iconOut), {}, {}, IconSize(iconOut)};
    Repaint();
    return iconIn != nullptr;
}

bool CButtonST::SetIconAutoGrey(HICON iconIn) {
    return SetIcon(iconIn, MakeGreyIcon(iconIn));
}

bool CButtonST::SetBitmaps(HBITMAP bitmapIn, COLORREF transparentIn, HBITMAP bitmapOut,
                           COLORREF transparentOut) {
    FreeImages();
    const auto take = [](HBITMAP bitmap, COLORREF transparent) {
        Image image;
        UniqueBitmap owned(bitmap);  // ours from here, also when it is no use
        BITMAP info{};
        if (!owned.Valid() || ::GetObjectW(bitmap, sizeof(info), &info) == 0) return image;
        image.bitmap = std::move(owned);
        image.size = {info.bmWidth, info.bmHeight};
        image.mask = MakeMask(bitmap, transparent, image.size);
        return image;
    };
    imageIn = take(bitmapIn, transparentIn);
    imageOut = take(bitmapOut, transparentOut);
    Repaint();
    return imageIn.bitmap.Valid();
}

void CButtonST::SetFlat(bool flat) {
    look.flat = flat;
    Repaint();
}

void CButtonST::SetAlign(IconAlign align) {
    look.align = align;
    Repaint();
}

void CButtonST::DrawBorder(bool draw) {
    look.drawBorder = draw;
    Repaint();
}

void CButtonST::DrawFlatFocus(bool draw) {
    look.drawFlatFocus = draw;
    Repaint();
}

void CButtonST::DrawTransparent(bool transparent) {
    look.transparent = transparent;
    Repaint();
}

void CButtonST::SetColour(ColourSlot slot, COLORREF colour) {
    ButtonColours& c = look.colours;
    Colour* const slots[] = {&c.backHovered, &c.textHovered, &c.backRest,
                             &c.textRest,    &c.backFocused, &c.textFocused};
    *slots[static_cast<int>(slot)] = ToColour(colour);
    Repaint();
}

void CButtonST::SetDefaultColours() {
    const Colour face = ToColour(::GetSysColor(COLOR_BTNFACE));
    const Colour text = ToColour(::GetSysColor(COLOR_BTNTEXT));
    look.colours = {face, text, face, text, face, text};
    Repaint();
}

void CButtonST::SetTooltipText(const std::wstring& text) {
    if (Window() == nullptr) return;
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(Window());
    tool.uId = reinterpret_cast<UINT_PTR>(Window());
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    if (tooltip == nullptr) {
        tooltip =
            ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Window(),
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (tooltip == nullptr) return;
        ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        ::SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void CButtonST::SetCheck(bool checked) {
    if (Window() != nullptr) {
        ::SendMessageW(Window(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    } else {
        look.checked = checked;
    }
}

// --- messages ----------------------------------------------------------------------------

void CButtonST::OnMouseMove(WPARAM keys) {
    if (!look.flat) return;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const bool over = ::WindowFromPoint(cursor) == Window();
    const bool mayLight = alwaysTrack || ::GetActiveWindow() != nullptr;
    switch (hover.OnMouseMove((keys & MK_LBUTTON) != 0, over, mayLight)) {
        case HoverTracker::Change::Entered: {
            Repaint();
            TRACKMOUSEEVENT leave{sizeof(TRACKMOUSEEVENT), TME_LEAVE, Window(), 0};
            ::TrackMouseEvent(&leave);
            break;
        }
        case HoverTracker::Change::Left:
            Repaint();
            break;
        case HoverTracker::Change::None:
            break;
    }
}

void CButtonST::OnHoverCleared() {
    if (hover.Clear() == HoverTracker::Change::Left) Repaint();
}

void CButtonST::OnDisabled() {
    // The system takes the focus from a window it disables. Within our active window, hand it
    // on to the next control, so the keyboard keeps working.
    const HWND top = ::GetAncestor(Window(), GA_ROOT);
    const HWND focus = ::GetFocus();
    if ((focus == nullptr && ::GetActiveWindow() == top) || focus == Window()) {
        const HWND parent = ::GetParent(Window());
        const HWND next = ::GetNextDlgTabItem(parent, Window(), FALSE);
        ::SetFocus(next != nullptr && next != Window() ? next : parent);
    }
    OnHoverCleared();
}

void CButtonST::OnClicked() {
    ::SetFocus(Window());
    if (look.checkBox) {
        look.checked = !look.checked;
        Repaint();
    } else if (!address.empty()) {
        ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    }
}

LRESULT CButtonST::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            OnMouseMove(wParam);
            break;
        case WM_MOUSELEAVE:
            OnHoverCleared();
            break;
        case WM_KILLFOCUS:
        case WM_CAPTURECHANGED:
        case WM_CANCELMODE: {
            const LRESULT result = Default(message, wParam, lParam);
            OnHoverCleared();
            return result;
        }
        case WM_ENABLE: {
            const LRESULT result = Default(message, wParam, lParam);
            if (wParam == FALSE) OnDisabled();
            return result;
        }
        case WM_GETDLGCODE: {
            LRESULT code = Default(message, wParam, lParam);
            code &= ~static_cast<LRESULT>(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
            return code | (look.isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        }
        case BM_SETSTYLE:
            // The dialog manager moves the default; the button stays owner-drawn.
            look.isDefault = (wParam & kStyleTypeMask) == BS_DEFPUSHBUTTON;
            return Default(message, (wParam & ~static_cast<WPARAM>(kStyleTypeMask)) | BS_OWNERDRAW,
                           lParam);
        case BM_SETCHECK:
            if (!look.checkBox) break;
            look.checked = CheckedByValue(wParam);
            Repaint();
            return 0;
        case BM_GETCHECK:
            if (!look.checkBox) break;
            return look.checked ? BST_CHECKED : BST_UNCHECKED;
        case WM_SETCURSOR:
            if (handCursor == nullptr) break;
            ::SetCursor(handCursor);
            return TRUE;
        case WM_LBUTTONDBLCLK:
            return Default(WM_LBUTTONDOWN, wParam, lParam);  // a double click is one press
        case WM_ERASEBKGND:
            return TRUE;  // the drawing covers the whole button
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

bool CButtonST::ParentProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item == nullptr || item->CtlType != ODT_BUTTON || item->hwndItem != Window()) {
            return false;
        }
        DrawItem(*item);
        result = TRUE;
        return true;
    }
    if (message == WM_COMMAND && reinterpret_cast<HWND>(lParam) == Window() &&
        HIWORD(wParam) == BN_CLICKED) {
        OnClicked();  // the parent hears of the click as well
    }
    return false;
}

// --- drawing -----------------------------------------------------------------------------

void CButtonST::DrawItem(const DRAWITEMSTRUCT& item) {
    const ItemState state{(item.itemState & ODS_SELECTED) != 0, (item.itemState & ODS_FOCUS) != 0,
                          (item.itemState & ODS_DISABLED) != 0};
    look.hovered = hover.Hovered();
    const bool hasImage = imageIn.icon.Valid() || imageIn.bitmap.Valid();
    const bool hasOut = imageOut.icon.Valid() || imageOut.bitmap.Valid();
    const ButtonImage image{hasImage ? imageIn.size : PixelSize{}, hasOut};
    const bool hasCaption = ::GetWindowTextLengthW(Window()) > 0;
    const DrawPlan plan = PlanDrawItem(look, state, ToPixelRect(item.rcItem), image, hasCaption);

    CMemDC dc(item.hDC);
    ::SetBkMode(dc, TRANSPARENT);
    if (plan.blackFrame) {
        ::FrameRect(dc, &item.rcItem, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    }
    const RECT area = ToRect(plan.area);
    if (look.transparent) {
        PaintParentBackground(dc, area);
    } else {
        DrawBackground(dc, plan);
    }

    switch (plan.border) {
        case DrawPlan::Border::ShadowFrame:
            ::FrameRect(dc, &area, ::GetSysColorBrush(COLOR_BTNSHADOW));
            break;
        case DrawPlan::Border::RaisedEdge:
            Draw3dRect(dc, area, ::GetSysColor(COLOR_BTNHIGHLIGHT),
                       ::GetSysColor(COLOR_3DDKSHADOW));
            Draw3dRect(dc, {area.left + 1, area.top + 1, area.right - 1, area.bottom - 1},
                       ::GetSysColor(COLOR_3DLIGHT), ::GetSysColor(COLOR_BTNSHADOW));
            break;
        case DrawPlan::Border::ThinSunken:
            DrawBorder(dc, area, true);
            break;
        case DrawPlan::Border::ThinRaised:
            DrawBorder(dc, area, false);
            break;
        case DrawPlan::Border::None:
            break;
    }

    DrawImage(dc, plan);
    if (hasCaption) DrawCaption(dc, plan);
    if (plan.focusRect) {
        const RECT focus = ToRect(plan.focus);
        ::DrawFocusRect(dc, &focus);
    }
}

void CButtonST::DrawBackground(HDC dc, const DrawPlan& plan) {
    FillSolid(dc, ToRect(plan.area), ToColorRef(plan.background));
}

void CButtonST::DrawBorder(HDC dc, const RECT& area, bool pressed) {
    const COLORREF shadow = ::GetSysColor(COLOR_BTNSHADOW);
    const COLORREF highlight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    if (pressed) {
        Draw3dRect(dc, area, shadow, highlight);
    } else {
        Draw3dRect(dc, area, highlight, shadow);
    }
}

void CButtonST::PaintParentBackground(HDC dc, const RECT& area) {
    const HWND parent = ::GetParent(Window());
    POINT origin{0, 0};
    ::MapWindowPoints(Window(), parent, &origin, 1);
    const ScopedSaveDc saved(dc);  // the clip and the origin
    ::IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    ::OffsetViewportOrgEx(dc, -origin.x, -origin.y, nullptr);
    ::SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ::SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
}

void CButtonST::DrawImage(HDC dc, const DrawPlan& plan) {
    if (plan.image == DrawPlan::Image::None) return;
    const Image& image = plan.image == DrawPlan::Image::Out ? imageOut : imageIn;
    const RECT at = ToRect(plan.imageRect);
    const int w = image.size.width;
    const int h = image.size.height;
    if (image.icon.Valid()) {
        ::DrawState(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(image.icon.Get()), 0, at.left,
                    at.top, w, h, DST_ICON | (plan.imageDisabled ? DSS_DISABLED : DSS_NORMAL));
        return;
    }
    if (!image.bitmap.Valid()) return;
    if (plan.imageDisabled) {
        ::DrawState(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(image.bitmap.Get()), 0, at.left,
                    at.top, w, h, DST_BITMAP | DSS_DISABLED);
        return;
    }
    const UniqueMemoryDc source(::CreateCompatibleDC(dc));
    if (!source.Valid()) return;
    const COLORREF oldBack = ::SetBkColor(dc, RGB(255, 255, 255));
    const COLORREF oldText = ::SetTextColor(dc, RGB(0, 0, 0));
    {
        const ScopedSelect selection(source.Get(), image.mask.Get());
        // Clear what the bitmap covers, then put the bitmap in.
        ::BitBlt(dc, at.left, at.top, w, h, source.Get(), 0, 0, SRCAND);
        ::SelectObject(source.Get(), image.bitmap.Get());
        ::BitBlt(dc, at.left, at.top, w, h, source.Get(), 0, 0, SRCPAINT);
    }
    ::SetBkColor(dc, oldBack);
    ::SetTextColor(dc, oldText);
}

void CButtonST::DrawCaption(HDC dc, const DrawPlan& plan) {
    const std::wstring caption = WindowText(Window());
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(Window(), WM_GETFONT, 0, 0));
    const ScopedSelect captionFont(
        dc, font != nullptr ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
    const int length = static_cast<int>(caption.size());
    constexpr UINT kFormat = DT_WORDBREAK | DT_CENTER;

    RECT measured = ToRect(plan.captionArea);
    ::DrawTextW(dc, caption.c_str(), length, &measured, kFormat | DT_CALCRECT);
    RECT place = ToRect(CentreCaption(
        plan, look, {measured.right - measured.left, measured.bottom - measured.top}));
    if (plan.captionEmbossed) {
        RECT raised = place;
        ::OffsetRect(&raised, 1, 1);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::DrawTextW(dc, caption.c_str(), length, &raised, kFormat);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNSHADOW));
    } else {
        ::SetTextColor(dc, ToColorRef(plan.captionColour));
    }
    ::DrawTextW(dc, caption.c_str(), length, &place, kFormat);
}

}  // namespace kivrel
