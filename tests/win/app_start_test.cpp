// Start-up of Kivrel.exe: one copy at a time, the main window's class and controls.

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win/win_test_support.h"

namespace kivrel {
namespace {

constexpr wchar_t kClass[] = L"UPDATE_FLASH_CLASS";

// Every top-level window of a class, in z-order.
std::vector<HWND> WindowsOfClass(const wchar_t* className) {
    std::vector<HWND> found;
    for (HWND w = ::FindWindowW(className, nullptr); w != nullptr;
         w = ::FindWindowExW(nullptr, w, className, nullptr)) {
        found.push_back(w);
    }
    return found;
}

class AppStart : public ::testing::Test {
protected:
    void TearDown() override {
        for (HWND w : WindowsOfClass(kClass)) ::PostMessageW(w, WM_CLOSE, 0, 0);
        for (auto& p : started) p.WaitForExit(10000);
    }

    ChildProcess& Start() {
        started.push_back(ChildProcess::Start(ProgramPath(L"Kivrel.exe"), L""));
        return started.back();
    }

    std::vector<ChildProcess> started;
};

TEST_F(AppStart, FirstStartShowsTheMainWindowWithTheTemplateControls) {
    ChildProcess& app = Start();
    ASSERT_TRUE(app.Running());
    const HWND main = WaitForWindow(kClass, 20000);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(::IsWindowVisible(main));

    // The template's title "Update" is replaced at start-up.
    wchar_t title[128] = {};
    ::GetWindowTextW(main, title, 128);
    EXPECT_EQ(std::wstring(title).rfind(L"Update Tool", 0), 0u) << title;
    const LONG style = ::GetWindowLongW(main, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(::GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

    RECT client{};
    ::GetClientRect(main, &client);
    struct Control {
        int id;
        const wchar_t* className;
        RECT dialogUnits;
    };
    const Control controls[] = {
        {1031, L"Static", {0, 0, 282, 134}},   {1012, L"Button", {0, 136, 282, 36}},
        {1032, L"Static", {12, 148, 210, 18}}, {1006, L"Button", {228, 146, 42, 20}},
        {1011, L"Button", {0, 173, 282, 36}},  {1007, L"msctls_progress32", {12, 185, 258, 16}},
        {1000, L"Button", {3, 215, 84, 28}},   {1002, L"Button", {96, 215, 84, 28}},
        {1008, L"Button", {194, 215, 84, 28}},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.id);
        const HWND item = ::GetDlgItem(main, c.id);
        ASSERT_NE(item, nullptr);
        wchar_t className[64] = {};
        ::GetClassNameW(item, className, 64);
        EXPECT_EQ(_wcsicmp(className, c.className), 0) << "class " << className;

        // MapDialogRect works only inside the dialog's own process; the client area is
        // 282 x 250 dialog units, which gives the same scale to within a pixel of rounding.
        const auto toPixelsX = [&](LONG units) { return ::MulDiv(units, client.right, 282); };
        const auto toPixelsY = [&](LONG units) { return ::MulDiv(units, client.bottom, 250); };
        RECT actual{};
        ::GetWindowRect(item, &actual);
        ::MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&actual), 2);
        const LONG x = c.dialogUnits.left, y = c.dialogUnits.top;
        const LONG w = c.dialogUnits.right, h = c.dialogUnits.bottom;
        EXPECT_NEAR(actual.left, toPixelsX(x), 1);
        EXPECT_NEAR(actual.top, toPixelsY(y), 1);
        EXPECT_NEAR(actual.right, toPixelsX(x + w), 1);
        EXPECT_NEAR(actual.bottom, toPixelsY(y + h), 1);
    }
}

TEST_F(AppStart, SecondStartBringsTheFirstForwardAndExitsWithoutAWindow) {
    Start();
    const HWND main = WaitForWindow(kClass, 20000);
    ASSERT_NE(main, nullptr);

    // Put another window in front, so the second start has something to do.
    TopLevelWindow other(L"other window");
    other.MakeForeground();
    ASSERT_NE(::GetForegroundWindow(), main);

    ChildProcess& second = Start();
    ASSERT_TRUE(second.WaitForExit(20000));
    EXPECT_EQ(WindowsOfClass(kClass).size(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == main; }, 5000));
}

TEST_F(AppStart, ClosingTheWindowEndsTheProcessAndTheNextStartRunsNormally) {
    ChildProcess& first = Start();
    HWND main = WaitForWindow(kClass, 20000);
    ASSERT_NE(main, nullptr);
    ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(1008, BN_CLICKED), 0);  // Close
    ASSERT_TRUE(first.WaitForExit(10000));
    EXPECT_EQ(first.ExitCode(), 0u);

    ChildProcess& again = Start();
    main = WaitForWindow(kClass, 20000);
    ASSERT_NE(main, nullptr);
    ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
    ASSERT_TRUE(again.WaitForExit(10000));
}

TEST_F(AppStart, EnterAndEscapeDoNotCloseTheWindow) {
    ChildProcess& app = Start();
    const HWND main = WaitForWindow(kClass, 20000);
    ASSERT_NE(main, nullptr);
    ::PostMessageW(main, WM_COMMAND, IDOK, 0);
    ::PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(app.WaitForExit(1000));
    EXPECT_TRUE(::IsWindow(main));
}

TEST_F(AppStart, ASiblingToolHoldingTheMutexIsBroughtForward) {
    // A sibling tool of the same family holds the mutex and shows a window of its own class.
    UniqueKernelHandle mutex(::CreateMutexW(nullptr, FALSE, L"KV_APP_ONE_HANDLE"));
    ASSERT_TRUE(mutex.Valid());
    ASSERT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    TopLevelWindow sibling(L"sibling", L"UPDATE_DATA_CLASS");
    TopLevelWindow other(L"other window");
    other.MakeForeground();

    ChildProcess& app = Start();
    ASSERT_TRUE(app.WaitForExit(20000));
    EXPECT_TRUE(WindowsOfClass(kClass).empty());
    EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == sibling.Get(); }, 5000));
}

TEST_F(AppStart, TheButtonsAreImageButtonsWithTheirTexts) {
    Start();
    const HWND main = WaitForWindow(kClass, 20000);
    ASSERT_NE(main, nullptr);
    struct Button {
        int id;
        const wchar_t* text;
    };
    for (const Button& b : {Button{1006, L"Open"}, Button{1008, L"Close"}, Button{1000, L"Setting"},
                            Button{1002, L"Update"}}) {
        SCOPED_TRACE(b.id);
        const HWND item = ::GetDlgItem(main, b.id);
        EXPECT_EQ(::GetWindowLongW(item, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        wchar_t text[32] = {};
        ::GetWindowTextW(item, text, 32);
        EXPECT_STREQ(text, b.text);
    }
    wchar_t barText[8] = {L'#'};
    EXPECT_EQ(
        ::SendMessageW(::GetDlgItem(main, 1007), WM_GETTEXT, 8, reinterpret_cast<LPARAM>(barText)),
        0);
    EXPECT_STREQ(barText, L"");
}

}  // namespace
}  // namespace kivrel
