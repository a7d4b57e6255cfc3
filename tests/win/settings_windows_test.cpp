// The province and settings windows as Win32 dialogs, built from the real templates in this
// process and driven with real messages: a box in the wrong place or a click that does not
// reach the model is what the native tests of the models cannot see.

#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "base/le_bytes.h"
#include "base/text.h"
#include "package/province_names.h"
#include "settings/config_dialog_win32.h"
#include "settings/province_dialog_win32.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/settings_blocks.h"

namespace kivrel {
namespace {

using test::ScriptedPrompts;

// Runs `body` inside the modal loop of `dialog` once its window exists, then cancels the
// dialog unless the body ends it itself (`bodyEnds`) and did so without a fatal failure.
// Returns what the dialog's run returned. The dialog is not shown yet when the body runs:
// showing a window costs Wine seconds, and nothing here needs it on screen.
std::function<void(HWND)> pendingBody;
DialogBase* pendingDialog = nullptr;
bool pendingBodyEnds = false;

void CALLBACK RunPendingBody(HWND, UINT, UINT_PTR timer, DWORD) {
    if (pendingDialog == nullptr || pendingDialog->Window() == nullptr) return;
    ::KillTimer(nullptr, timer);
    const HWND window = pendingDialog->Window();
    pendingDialog = nullptr;
    pendingBody(window);
    if (!pendingBodyEnds || ::testing::Test::HasFatalFailure()) ::EndDialog(window, IDCANCEL);
}

template <typename Run>
INT_PTR WithDialog(DialogBase& dialog, Run run, std::function<void(HWND)> body,
                   bool bodyEnds = false) {
    pendingBody = std::move(body);
    pendingDialog = &dialog;
    pendingBodyEnds = bodyEnds;
    ::SetTimer(nullptr, 0, 10, &RunPendingBody);
    return run();
}

bool HasStyle(HWND window, LONG style) {
    return (::GetWindowLongW(window, GWL_STYLE) & style) == style;
}

HINSTANCE Self() {
    return ::GetModuleHandleW(nullptr);
}

// A control's rectangle in its dialog's client pixels.
RECT ClientRect(HWND dialog, HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// As the dialog manager places a control: its origin and its size each converted to pixels.
RECT DialogUnits(HWND dialog, const DialogUnitRect& place) {
    RECT rect{place.x, place.y, place.width, place.height};
    ::MapDialogRect(dialog, &rect);
    return {rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
}

void ExpectAt(HWND dialog, int id, const DialogUnitRect& place) {
    SCOPED_TRACE(id);
    const HWND control = ::GetDlgItem(dialog, id);
    ASSERT_NE(control, nullptr);
    const RECT actual = ClientRect(dialog, control);
    const RECT expected = DialogUnits(dialog, place);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

bool Checked(HWND dialog, int id) {
    return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void Click(HWND dialog, int id) {
    ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

TEST(ProvinceWindow, TemplatePlacesEveryBoxOnTheMapWithItsName) {
    ScriptedPrompts prompts;
    CDialogProvince dialog(prompts, nullptr);
    WithDialog(
        dialog, [&] { return dialog.DoModal(Self(), nullptr); },
        [&](HWND window) {
            EXPECT_EQ(TextOf(window), L"省份选择");
            RECT client{};
            ::GetClientRect(window, &client);
            const RECT size = DialogUnits(window, kProvinceDialogSize);
            EXPECT_EQ(client.right, size.right);
            EXPECT_EQ(client.bottom, size.bottom);
            for (std::size_t entry = 0; entry < kProvinceCount; ++entry) {
                const int id = ProvinceBoxId(entry);
                ExpectAt(window, id, ProvinceBoxRect(entry));
                const HWND box = ::GetDlgItem(window, id);
                EXPECT_EQ(TextOf(box), Utf8ToWide(kProvinceNames[entry].utf8)) << entry;
                EXPECT_EQ(::GetWindowLongW(box, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
                EXPECT_FALSE(Checked(window, id));
            }
            ExpectAt(window, IDOK, kProvinceOkRect);
            // The counter stands where the template puts it, widened when its text needs more.
            const RECT counter = ClientRect(window, ::GetDlgItem(window, kIdProvinceCounter));
            const RECT counterPlace = DialogUnits(window, kProvinceCounterRect);
            EXPECT_EQ(counter.left, counterPlace.left);
            EXPECT_EQ(counter.top, counterPlace.top);
            EXPECT_EQ(counter.bottom, counterPlace.bottom);
            EXPECT_GE(counter.right, counterPlace.right);
            EXPECT_LE(counter.right, client.right);
            ExpectAt(window, kIdProvinceAdvice, kProvinceAdviceRect);
            ExpectAt(window, kIdNationalBox, kNationalBoxRect);
            EXPECT_EQ(TextOf(::GetDlgItem(window, IDOK)), L"确定");
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdProvinceCounter)), ProvinceCounterText(0));
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdProvinceAdvice)), kProvinceAdviceText);
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdNationalBox)), kNationalBoxText);
            EXPECT_EQ(::GetDlgItem(window, IDCANCEL), nullptr);
        });
}

TEST(ProvinceWindow, ClicksReachTheModelAndOkEndsWithTheFlags) {
    ScriptedPrompts prompts;
    CDialogProvince dialog(prompts, nullptr);
    const INT_PTR result = WithDialog(
        dialog, [&] { return dialog.DoModal(Self(), nullptr); },
        [&](HWND window) {
            for (std::size_t entry = 0; entry < 12; ++entry) Click(window, ProvinceBoxId(entry));
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdProvinceCounter)), ProvinceCounterText(12));
            Click(window, 2032);  // a thirteenth: refused
            EXPECT_FALSE(Checked(window, 2032));
            EXPECT_EQ(prompts.Texts(),
                      std::vector<std::wstring>{std::wstring(kTextThirteenthProvince)});

            Click(window, kIdNationalBox);
            EXPECT_FALSE(Checked(window, 2000));
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdProvinceCounter)), ProvinceCounterText(0));
            Click(window, 2032);
            EXPECT_FALSE(Checked(window, kIdNationalBox));
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdProvinceCounter)), ProvinceCounterText(1));

            prompts.answers = {true};
            Click(window, IDOK);
        },
        true);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(prompts.shown.back().text, FewProvincesQuestion(1));
    EXPECT_EQ(dialog.Selection().mode, 1);
    EXPECT_EQ(dialog.Selection().flags[33], 1);  // 台湾
    EXPECT_EQ(dialog.Selection().flags[0], 0);
}

TEST(ProvinceWindow, PaintsTheMapAndColoursTheThreeTexts) {
    const auto map = static_cast<HBITMAP>(
        ::LoadImageW(Self(), MAKEINTRESOURCEW(147), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(map, nullptr);
    BITMAP info{};
    ::GetObjectW(map, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 717);
    EXPECT_EQ(info.bmHeight, 593);
    EXPECT_EQ(info.bmBitsPixel, 24);

    ScriptedPrompts prompts;
    CDialogProvince dialog(prompts, map);
    WithDialog(
        dialog, [&] { return dialog.DoModal(Self(), nullptr); },
        [&](HWND window) {
            RECT client{};
            ::GetClientRect(window, &client);
            const HDC screen = ::GetDC(window);
            const HDC memory = ::CreateCompatibleDC(screen);
            const HBITMAP canvas = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
            const HGDIOBJ old = ::SelectObject(memory, canvas);
            EXPECT_EQ(::SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0),
                      TRUE);
            // The top-left corner is open sea on the map, stretched over the whole client area.
            const HDC mapDc = ::CreateCompatibleDC(screen);
            const HGDIOBJ oldMap = ::SelectObject(mapDc, map);
            EXPECT_EQ(::GetPixel(memory, 2, 2), ::GetPixel(mapDc, 1, 1));
            ::SelectObject(mapDc, oldMap);
            ::DeleteDC(mapDc);

            struct Case {
                int id;
                COLORREF colour;
            };
            for (const Case& c :
                 {Case{kIdProvinceCounter, RGB(255, 0, 0)}, Case{kIdProvinceAdvice, RGB(255, 0, 0)},
                  Case{kIdNationalBox, RGB(0, 255, 0)}}) {
                SCOPED_TRACE(c.id);
                const LRESULT brush =
                    ::SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(memory),
                                   reinterpret_cast<LPARAM>(::GetDlgItem(window, c.id)));
                EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), ::GetStockObject(WHITE_BRUSH));
                EXPECT_EQ(::GetTextColor(memory), c.colour);
                EXPECT_EQ(::GetBkMode(memory), TRANSPARENT);
                HFONT font = reinterpret_cast<HFONT>(
                    ::SendMessageW(::GetDlgItem(window, c.id), WM_GETFONT, 0, 0));
                LOGFONTW face{};
                ::GetObjectW(font, sizeof face, &face);
                EXPECT_STREQ(face.lfFaceName, L"Arial");
                EXPECT_EQ(face.lfHeight, 15);
                EXPECT_EQ(face.lfWeight, FW_NORMAL);
            }
            ::SelectObject(memory, old);
            ::DeleteObject(canvas);
            ::DeleteDC(memory);
            ::ReleaseDC(window, screen);
        });
    ::DeleteObject(map);
}

// A layout-3 block with ten sub-bands (X on), a carrier's APN, the frequency display offered
// and on, and a time zone of 8.
SettingsBlock Layout3Block() {
    SettingsBlock block = test::SampleSettingsBlock(3, {2, 2, 2, 2, 2});
    block.bytes[16] = 0xC0;
    EXPECT_TRUE(block.SetApn("kvnet"));
    block.StoreSum(3);
    return block;
}

ConfigInputs Layout3Inputs() {
    ConfigInputs inputs;
    inputs.title = L"Setting";
    inputs.bootVersion = 1011;
    inputs.layout = 3;
    return inputs;
}

TEST(ConfigWindow, BandBoxesAreCreatedInTheAnchorsColumnsAndTheTemplateIsFilled) {
    ScriptedPrompts prompts;
    SettingsBlock block = Layout3Block();
    const ConfigModel model(Layout3Inputs(), block);
    CConfigDialog dialog(prompts, Layout3Inputs(), &block);
    WithDialog(
        dialog, [&] { return dialog.DoModal(Self(), nullptr); },
        [&](HWND window) {
            EXPECT_EQ(TextOf(window), model.Title());
            RECT client{};
            ::GetClientRect(window, &client);
            const RECT size = DialogUnits(window, {0, 0, 405, 219});
            EXPECT_EQ(client.right, size.right);
            EXPECT_EQ(client.bottom, size.bottom);
            ExpectAt(window, kIdBandAnchor1, {7, 7, 122, 10});
            ExpectAt(window, kIdBandAnchor2, {136, 7, 122, 10});
            ExpectAt(window, kIdPort, {355, 155, 43, 14});
            // A drop-down combo box is as high as its edit field; 201 is the height of its list.
            const RECT company = ClientRect(window, ::GetDlgItem(window, kIdCompany));
            const RECT companyPlace = DialogUnits(window, {278, 78, 120, 201});
            EXPECT_EQ(company.left, companyPlace.left);
            EXPECT_EQ(company.top, companyPlace.top);
            EXPECT_EQ(company.right, companyPlace.right);

            const RECT anchor1 = ClientRect(window, ::GetDlgItem(window, kIdBandAnchor1));
            const RECT anchor2 = ClientRect(window, ::GetDlgItem(window, kIdBandAnchor2));
            const LONG height = anchor1.bottom - anchor1.top;
            for (int i = 0; i < 10; ++i) {
                SCOPED_TRACE(i);
                const HWND box = ::GetDlgItem(window, 100 + i);
                ASSERT_NE(box, nullptr);
                EXPECT_TRUE(HasStyle(box, WS_VISIBLE));
                EXPECT_EQ(::GetWindowLongW(box, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
                EXPECT_EQ(TextOf(box), model.Bands()[static_cast<std::size_t>(i)].label);
                const RECT& column = i < 7 ? anchor1 : anchor2;
                const LONG row = i < 7 ? i : i - 7;
                const RECT actual = ClientRect(window, box);
                EXPECT_EQ(actual.left, column.left);
                EXPECT_EQ(actual.right, column.right);
                EXPECT_EQ(actual.top, column.top + row * (height + 15));
                EXPECT_EQ(actual.bottom - actual.top, height);
                EXPECT_EQ(Checked(window, 100 + i), i == 0);
            }
            EXPECT_EQ(::GetDlgItem(window, 110), nullptr);
            EXPECT_FALSE(HasStyle(::GetDlgItem(window, kIdBandAnchor1), WS_VISIBLE));
            EXPECT_FALSE(HasStyle(::GetDlgItem(window, kIdTwelveHour), WS_VISIBLE));
            EXPECT_TRUE(HasStyle(::GetDlgItem(window, kIdApn), WS_VISIBLE));
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdTimeZoneLabel)), L"Time Zone(-12~13)");
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdTimeZone)), L"8");
            EXPECT_EQ(TextOf(::GetDlgItem(window, IDOK)), L"OK");
            EXPECT_EQ(TextOf(::GetDlgItem(window, IDCANCEL)), L"Cancel");
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdFrequencyDisplay)),
                      L"Radar Frequency display");
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdCompany)), L"Kivrel Mobile M2M");
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdApn)), L"kvnet");
            EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, kIdApn)));
            EXPECT_EQ(::SendMessageW(::GetDlgItem(window, kIdCompany), CB_GETCOUNT, 0, 0), 8);
            EXPECT_TRUE(HasStyle(::GetDlgItem(window, kIdPort), ES_NUMBER));
            EXPECT_TRUE(HasStyle(::GetDlgItem(window, kIdPassword), ES_PASSWORD));

            // Picking the last carrier unlocks its fields.
            ::SendMessageW(::GetDlgItem(window, kIdCompany), CB_SETCURSEL, 7, 0);
            ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kIdCompany, CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(::GetDlgItem(window, kIdCompany)));
            EXPECT_EQ(TextOf(::GetDlgItem(window, kIdApn)), L"internet");
            EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, kIdApn)));
        });
    EXPECT_EQ(block, Layout3Block());  // cancelled: untouched
}

TEST(ConfigWindow, OkStoresWhatTheModelSaysAndARefusedOkKeepsTheWindowOpen) {
    ScriptedPrompts prompts;
    SettingsBlock block = Layout3Block();
    CConfigDialog dialog(prompts, Layout3Inputs(), &block);
    const INT_PTR result = WithDialog(
        dialog, [&] { return dialog.DoModal(Self(), nullptr); },
        [&](HWND window) {
            ::SetDlgItemTextW(window, kIdTimeZone, L"20");
            Click(window, IDOK);
            EXPECT_EQ(prompts.Texts(), std::vector<std::wstring>{L"Time Zone error!"});
            EXPECT_EQ(prompts.shown[0].kind, ScriptedPrompts::Kind::kMessage);

            // Digits only as typed, but a paste gets past that.
            ::SetDlgItemTextW(window, kIdTimeZone, L"-5");
            ::SetDlgItemTextW(window, kIdPort, L"80x");
            Click(window, IDOK);
            EXPECT_EQ(prompts.shown.back().text, L"Port must hold digits only!");

            ::SetDlgItemTextW(window, kIdPort, L"8080");
            Click(window, 100);  // off
            Click(window, 109);  // on
            Click(window, kIdFrequencyDisplay);
            Click(window, IDOK);
        },
        true);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(block.bytes[18], 0xFB);
    EXPECT_EQ(block.bytes[24], 0);
    EXPECT_EQ(block.bytes[33], 1);
    EXPECT_EQ(block.bytes[16], 0x80);
    EXPECT_EQ(block.Port(), "8080");
    EXPECT_EQ(block.UserName(), "m2m");  // the matched profile's
    EXPECT_EQ(prompts.shown.size(), 2u);
}

TEST(ConfigWindow, NoBlockShowsNoWindow) {
    ScriptedPrompts prompts;
    CConfigDialog dialog(prompts, Layout3Inputs(), nullptr);
    EXPECT_EQ(dialog.DoModal(Self(), nullptr), IDCANCEL);
    EXPECT_EQ(dialog.Window(), nullptr);
}

}  // namespace
}  // namespace kivrel
