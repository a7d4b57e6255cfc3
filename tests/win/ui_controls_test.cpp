// The skinned controls as Windows drives them: the progress bar through its ordinary messages
// and the shaded buttons under the real mouse. Pictures are taken with PrintWindow into memory
// and checked pixel by pixel.

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/win/win_test_support.h"
#include "ui/scoped_gdi_win32.h"
#include "ui/shade_button_st_win32.h"
#include "ui/text_progress_ctrl_win32.h"

namespace kivrel {
namespace {

constexpr int kIconClose = 129;  // a red disc with a white cross

// A control's picture, taken as PrintWindow draws it, in a 32-bit top-down memory bitmap that
// starts out in `background`.
class Picture {
public:
    explicit Picture(HWND window, COLORREF background = RGB(1, 2, 3)) {
        RECT client{};
        ::GetClientRect(window, &client);
        width = client.right;
        height = client.bottom;
        BITMAPINFO format{};
        format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        const HDC dc = ::CreateCompatibleDC(nullptr);
        const HBITMAP bitmap = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ old = ::SelectObject(dc, bitmap);
        const HBRUSH brush = ::CreateSolidBrush(background);
        ::FillRect(dc, &client, brush);
        ::DeleteObject(brush);
        ::PrintWindow(window, dc, PW_CLIENTONLY);
        ::GdiFlush();
        const auto* pixels = static_cast<const std::uint32_t*>(bits);
        data.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
    }

    [[nodiscard]] COLORREF At(int x, int y) const {
        const std::uint32_t p = data[static_cast<std::size_t>(y) * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    template <typename Predicate>
    [[nodiscard]] int CountWhere(RECT area, Predicate matches) const {
        int found = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) found += matches(At(x, y)) ? 1 : 0;
        }
        return found;
    }
    // Pixels within `tolerance` of `colour` in every channel, inside the rectangle.
    [[nodiscard]] int Count(RECT area, COLORREF colour, int tolerance = 40) const {
        return CountWhere(area, [&](COLORREF p) {
            return std::abs(GetRValue(p) - GetRValue(colour)) <= tolerance &&
                   std::abs(GetGValue(p) - GetGValue(colour)) <= tolerance &&
                   std::abs(GetBValue(p) - GetBValue(colour)) <= tolerance;
        });
    }
    // Pixels clearly red (the colour icon's disc), inside the rectangle.
    [[nodiscard]] int CountReddish(RECT area) const {
        return CountWhere(area, [](COLORREF p) {
            return GetRValue(p) > GetBValue(p) + 60 && GetRValue(p) > GetGValue(p) + 60;
        });
    }
    [[nodiscard]] double Brightness(RECT area) const {
        double sum = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                const COLORREF p = At(x, y);
                sum += GetRValue(p) + GetGValue(p) + GetBValue(p);
            }
        }
        return sum / ((area.right - area.left) * (area.bottom - area.top) * 3.0);
    }

    int width = 0;
    int height = 0;

private:
    std::vector<std::uint32_t> data;
};

// Counts one message on its way to a window, ahead of the window's own handling.
class MessageCounter {
public:
    MessageCounter(HWND target, UINT counted) : window(target), message(counted) {
        ::SetWindowSubclass(window, &Proc, reinterpret_cast<UINT_PTR>(this),
                            reinterpret_cast<DWORD_PTR>(this));
    }
    ~MessageCounter() { ::RemoveWindowSubclass(window, &Proc, reinterpret_cast<UINT_PTR>(this)); }
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;
    int count = 0;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR self) {
        auto* counter = reinterpret_cast<MessageCounter*>(self);
        if (msg == counter->message) ++counter->count;
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    HWND window;
    UINT message;
};

class UiControls : public ::testing::Test {
protected:
    // One parent for every test: each new top-level window costs Wine seconds under Xvfb.
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        parentWindow = new TopLevelWindow(L"Kivrel control test");
        ::MoveWindow(parentWindow->Get(), 50, 50, 420, 200, TRUE);
        PumpMessages();
    }
    static void TearDownTestSuite() {
        delete parentWindow;
        parentWindow = nullptr;
    }
    void TearDown() override {
        for (const HWND child : children) ::DestroyWindow(child);
        PumpMessages();
    }

    HWND Child(const wchar_t* className, DWORD style, int x, int y, int w, int h) {
        const HWND child =
            ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                              Parent(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
        children.push_back(child);
        return child;
    }
    static HWND Parent() { return parentWindow->Get(); }

    static inline TopLevelWindow* parentWindow = nullptr;
    std::vector<HWND> children;
};

// --- the text progress bar ---------------------------------------------------------------

TEST_F(UiControls, BarTextRoundTripsThroughTheWindowMessages) {
    CTextProgressCtrl bar;
    ASSERT_TRUE(bar.Attach(Child(PROGRESS_CLASSW, 0, 10, 10, 300, 24)));
    const HWND window = bar.Window();

    ::SetWindowTextW(window, L"Updated 37.50%   Time 12 Second");
    wchar_t text[64] = {};
    EXPECT_EQ(::GetWindowTextW(window, text, 64), 31);
    EXPECT_STREQ(text, L"Updated 37.50%   Time 12 Second");
    EXPECT_EQ(::GetWindowTextLengthW(window), 31);
    EXPECT_EQ(bar.GetBarText(), L"Updated 37.50%   Time 12 Second");

    // A short buffer gets what fits, terminated.
    wchar_t small[6] = {L'#', L'#', L'#', L'#', L'#', L'#'};
    EXPECT_EQ(::SendMessageW(window, WM_GETTEXT, 5, reinterpret_cast<LPARAM>(small)), 4);
    EXPECT_STREQ(small, L"Upda");
    EXPECT_EQ(small[5], L'#');

    const std::wstring longText(2000, L'x');
    ::SetWindowTextW(window, longText.c_str());
    EXPECT_EQ(bar.GetBarText(), longText.substr(0, CTextProgressCtrl::kMaxBarText));

    EXPECT_EQ(::SendMessageW(window, PBM_SETRANGE32, 0, 4000), MAKELONG(0, 100));
    EXPECT_EQ(::SendMessageW(window, PBM_SETPOS, 1500, 0), 0);
    EXPECT_EQ(::SendMessageW(window, PBM_GETPOS, 0, 0), 1500);
    EXPECT_EQ(bar.SetPos(10), 1500);
    EXPECT_EQ(::SendMessageW(window, PBM_GETRANGE, FALSE, 0), 4000);

    CTextProgressCtrl detached;
    EXPECT_EQ(detached.SetPos(5), -1);
}

TEST_F(UiControls, BarRepaintsOnlyWhenTheFillMovesByAPixel) {
    CTextProgressCtrl bar;
    ASSERT_TRUE(bar.Attach(Child(PROGRESS_CLASSW, 0, 10, 10, 200, 24)));
    const HWND window = bar.Window();
    ::SendMessageW(window, PBM_SETRANGE32, 0, 1000);
    ::UpdateWindow(window);
    PumpMessages();

    MessageCounter paints(window, WM_PAINT);
    const auto setPos = [&](int position) {
        ::SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        PumpMessages();
        return paints.count;
    };
    EXPECT_EQ(setPos(4), 0);  // 4 of 1000 on 200 pixels: still no pixel
    EXPECT_EQ(setPos(5), 1);  // the first pixel
    EXPECT_EQ(setPos(9), 1);
    EXPECT_EQ(setPos(10), 2);

    ::SetWindowTextW(window, L"updating");
    PumpMessages();
    EXPECT_EQ(paints.count, 3);
    ::SetWindowTextW(window, L"updating");  // the same text again
    PumpMessages();
    EXPECT_EQ(paints.count, 3);

    // A download without a length: an empty range does not divide by zero, and the bar is
    // drawn empty, so its text can be read.
    ::SendMessageW(window, PBM_SETRANGE32, 0, 0);
    setPos(12345);
    const Picture empty(window, RGB(1, 2, 3));
    const RECT all{0, 0, empty.width, empty.height};
    EXPECT_EQ(empty.Count(all, RGB(1, 2, 3), 0), 0);
    EXPECT_EQ(empty.Count(all, ::GetSysColor(COLOR_HIGHLIGHT), 0), 0);
}

TEST_F(UiControls, BarDrawsTheFillAndItsTextInBothColours) {
    CTextProgressCtrl bar;
    ASSERT_TRUE(bar.Attach(Child(PROGRESS_CLASSW, 0, 10, 10, 300, 24)));
    const HWND window = bar.Window();
    ::SendMessageW(window, PBM_SETRANGE32, 0, 100);
    ::SendMessageW(window, PBM_SETPOS, 50, 0);
    ::SetWindowTextW(window, L"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM");  // across the fill's edge

    const Picture picture(window);
    const COLORREF barColour = ::GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF restColour = ::GetSysColor(COLOR_BTNSHADOW);
    const COLORREF textOnBar = ::GetSysColor(COLOR_WINDOW);
    const COLORREF textOnRest = ::GetSysColor(COLOR_BTNTEXT);
    EXPECT_EQ(picture.At(0, 0), barColour);
    EXPECT_EQ(picture.At(149, 0), barColour);  // the fill ends at 300 x 50 %
    EXPECT_EQ(picture.At(150, 0), restColour);
    EXPECT_EQ(picture.At(299, 23), restColour);

    const RECT leftOfEdge{0, 0, 150, 24};
    const RECT rightOfEdge{150, 0, 300, 24};
    EXPECT_GT(picture.Count(leftOfEdge, textOnBar), 20);
    EXPECT_EQ(picture.Count(leftOfEdge, textOnRest), 0);
    EXPECT_GT(picture.Count(rightOfEdge, textOnRest), 20);
    EXPECT_EQ(picture.Count(rightOfEdge, textOnBar), 0);

    // Without a text of its own the bar shows its percentage.
    ::SetWindowTextW(window, L"");
    const Picture percent(window);
    EXPECT_GT(percent.Count(leftOfEdge, textOnBar) + percent.Count(rightOfEdge, textOnRest), 10);
}

// --- the shaded image buttons ------------------------------------------------------------

class ShadeButtons : public UiControls {
protected:
    HWND MakeButton(CShadeButtonST& button, int x) {
        const HWND window = Child(L"Button", BS_PUSHBUTTON | WS_TABSTOP, x, 20, 126, 45);
        ::SetWindowTextW(window, L"Close");
        EXPECT_TRUE(button.Attach(window));
        button.SetShade();
        EXPECT_TRUE(button.SetIcon(kIconClose, CButtonST::kAutoGreyIcon));
        ::UpdateWindow(window);
        return window;
    }

    static POINT Centre(HWND window) {
        RECT r{};
        ::GetWindowRect(window, &r);
        return {(r.left + r.right) / 2, r.bottom - 8};
    }

    static void MoveMouse(POINT to) {
        // Absolute input spans the primary screen as 0..65535.
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = ::MulDiv(to.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = ::MulDiv(to.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        ::SendInput(1, &input, sizeof(input));
    }

    static void Press(bool down) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
        ::SendInput(1, &input, sizeof(input));
    }

    static constexpr RECT kIconArea{3, 6, 35, 38};      // a 32-pixel icon, 3 pixels in
    static constexpr RECT kPlainFace{96, 34, 122, 42};  // no icon or caption here
};

TEST_F(ShadeButtons, LightUpUnderTheMouseAndGoOutWhenItLeaves) {
    CShadeButtonST button;
    const HWND window = MakeButton(button, 20);
    MoveMouse({5, 5});
    PumpMessages();
    const Picture rest(window);
    EXPECT_EQ(rest.CountReddish(kIconArea), 0);  // the grey icon at rest
    EXPECT_FALSE(button.IsHovered());

    MessageCounter draws(Parent(), WM_DRAWITEM);
    MoveMouse(Centre(window));
    ASSERT_TRUE(WaitUntil([&] { return button.IsHovered(); }, 5000));
    WaitUntil([&] { return draws.count > 0; }, 2000);
    ::Sleep(100);
    PumpMessages();
    EXPECT_EQ(draws.count, 1);  // one redraw in the hover look
    const Picture lit(window);  // (taking a picture draws the button once more)
    draws.count = 0;
    EXPECT_GT(lit.CountReddish(kIconArea), 100);  // the colour icon while hovered
    EXPECT_GT(lit.Brightness(kPlainFace), rest.Brightness(kPlainFace) + 5);

    MoveMouse({5, 5});
    ASSERT_TRUE(WaitUntil([&] { return !button.IsHovered(); }, 5000));
    WaitUntil([&] { return draws.count > 0; }, 2000);
    ::Sleep(100);
    PumpMessages();
    EXPECT_EQ(draws.count, 1);  // one redraw in the rest look
    const Picture back(window);
    EXPECT_EQ(back.CountReddish(kIconArea), 0);
    EXPECT_NEAR(back.Brightness(kPlainFace), rest.Brightness(kPlainFace), 0.01);
}

TEST_F(ShadeButtons, ADragFromOutsideDoesNotLightTheButton) {
    CShadeButtonST button;
    const HWND window = MakeButton(button, 20);
    RECT parentArea{};
    ::GetWindowRect(Parent(), &parentArea);
    MoveMouse({parentArea.right - 20, parentArea.bottom - 20});  // on the parent, off the button
    PumpMessages();
    Press(true);
    PumpMessages();
    MoveMouse(Centre(window));
    WaitUntil([] { return false; }, 300);
    EXPECT_FALSE(button.IsHovered());
    Press(false);
    PumpMessages();
}

TEST_F(ShadeButtons, ADisabledButtonDrawsItsIconGrey) {
    CShadeButtonST coloured;
    CShadeButtonST greyed;
    const HWND colouredWindow = MakeButton(coloured, 20);
    const HWND greyedWindow = MakeButton(greyed, 160);
    coloured.SetIcon(kIconClose);  // no grey rest icon: red at rest
    MoveMouse({5, 5});
    PumpMessages();
    EXPECT_GT(Picture(colouredWindow).CountReddish(kIconArea), 100);

    ::EnableWindow(colouredWindow, FALSE);
    ::EnableWindow(greyedWindow, FALSE);
    PumpMessages();
    MoveMouse(Centre(greyedWindow));  // whatever the mouse does
    WaitUntil([] { return false; }, 300);
    for (const HWND window : {colouredWindow, greyedWindow}) {
        const Picture disabled(window);
        EXPECT_EQ(disabled.CountReddish(kIconArea), 0);
        // The disabled look draws the icon's shape in the shadow colour.
        EXPECT_GT(disabled.Count(kIconArea, ::GetSysColor(COLOR_BTNSHADOW), 8), 50);
    }
    EXPECT_FALSE(greyed.IsHovered());
}

// --- scoped GDI objects ------------------------------------------------------------------

// Drawing code leaves by many ways (failures return early): whichever it takes, the context
// must get its own objects back and what the code made must be gone.
TEST(ScopedGdi, SelectionsComeBackAndOwnedObjectsGoOnEveryWayOut) {
    const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc.Valid());
    const HGDIOBJ ownBitmap = ::GetCurrentObject(dc.Get(), OBJ_BITMAP);
    const HGDIOBJ ownFont = ::GetCurrentObject(dc.Get(), OBJ_FONT);
    HBITMAP made = nullptr;
    const auto draw = [&](bool leaveEarly) {
        UniqueBitmap bitmap(::CreateCompatibleBitmap(dc.Get(), 8, 8));
        made = bitmap.Get();
        const ScopedSelect selection(dc.Get(), bitmap.Get());
        const ScopedSelect font(dc.Get(), ::GetStockObject(DEFAULT_GUI_FONT));
        EXPECT_TRUE(selection.Selected());
        EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_BITMAP), made);
        if (leaveEarly) return;
        ::SelectObject(dc.Get(), ::GetStockObject(SYSTEM_FONT));  // a second one, unscoped
    };
    for (const bool leaveEarly : {true, false}) {
        SCOPED_TRACE(leaveEarly);
        draw(leaveEarly);
        EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_BITMAP), ownBitmap);
        EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_FONT), ownFont);
        EXPECT_EQ(::GetObjectType(made), 0u);  // deleted
    }

    // A moved selection is restored once, by its new owner; a failed one restores nothing.
    UniqueBitmap bitmap(::CreateCompatibleBitmap(dc.Get(), 8, 8));
    {
        ScopedSelect first(dc.Get(), bitmap.Get());
        ScopedSelect second = std::move(first);
        EXPECT_FALSE(first.Selected());
        const ScopedSelect failed(dc.Get(), nullptr);
        EXPECT_FALSE(failed.Selected());
        EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_BITMAP), bitmap.Get());
        second.Restore();
        EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_BITMAP), ownBitmap);
    }
    EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_BITMAP), ownBitmap);
    EXPECT_EQ(::GetObjectType(bitmap.Get()), static_cast<DWORD>(OBJ_BITMAP));  // still ours

    // A saved context comes back whole: colours and selections.
    const COLORREF text = ::GetTextColor(dc.Get());
    {
        const ScopedSaveDc saved(dc.Get());
        ::SetTextColor(dc.Get(), RGB(1, 2, 3));
        ::SelectObject(dc.Get(), bitmap.Get());
    }
    EXPECT_EQ(::GetTextColor(dc.Get()), text);
    EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_BITMAP), ownBitmap);

    const WindowDc screen(nullptr);
    EXPECT_NE(screen.Get(), nullptr);
}

}  // namespace
}  // namespace kivrel
