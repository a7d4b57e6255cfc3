// Opens the province or the settings window in a chosen state, for screenshots:
//   settings_gallery province N     the province window with N provinces ticked (0-12)
//   settings_gallery national       the province window with the national package ticked
//   settings_gallery config 3|4     the settings window of a layout-3 or layout-4 unit
// Test-only: Kivrel.exe opens these windows from a connected unit.

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "base/le_bytes.h"
#include "base/prompts_win32.h"
#include "settings/config_dialog_win32.h"
#include "settings/province_dialog_win32.h"

namespace kivrel {
namespace {

// The provinces ticked first: the big cities and the coast.
constexpr std::size_t kTickOrder[] = {0, 1, 27, 20, 18, 2, 11, 22, 26, 3, 19, 6};

CDialogProvince* shownProvinces = nullptr;
int provincesToTick = 0;
bool tickNational = false;

void CALLBACK TickProvinces(HWND, UINT, UINT_PTR timer, DWORD) {
    if (shownProvinces == nullptr || shownProvinces->Window() == nullptr) return;
    ::KillTimer(nullptr, timer);
    const HWND window = shownProvinces->Window();
    for (int i = 0; i < provincesToTick; ++i) {
        ::SendMessageW(::GetDlgItem(window, ProvinceBoxId(kTickOrder[i])), BM_CLICK, 0, 0);
    }
    if (tickNational) ::SendMessageW(::GetDlgItem(window, kIdNationalBox), BM_CLICK, 0, 0);
}

int ShowProvinces(int ticked, bool national) {
    const auto map =
        static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(147),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    MessageBoxPrompts prompts;
    CDialogProvince dialog(prompts, map);
    shownProvinces = &dialog;
    provincesToTick = ticked < 0 ? 0 : ticked > 12 ? 12 : ticked;
    tickNational = national;
    ::SetTimer(nullptr, 0, 50, &TickProvinces);
    const INT_PTR result = dialog.DoModal(::GetModuleHandleW(nullptr), nullptr);
    if (map != nullptr) ::DeleteObject(map);
    return result == IDOK ? 0 : 1;
}

void PutRange(SettingsBlock& block, int layout, std::size_t index, std::uint16_t low,
              std::uint16_t high) {
    (void)block.SetSubBandRange(layout, index, {low, high});
}

// A layout-3 unit with a modem on a carrier of the table, and a layout-4 unit with more K
// sub-bands; both with radar types that offer the frequency display.
SettingsBlock GalleryBlock(int layout) {
    SettingsBlock block;
    std::memcpy(block.bytes.data() + 4, layout == 3 ? "KV3G" : "KV4R", 4);
    PutU32(block.bytes.data() + 8, layout == 3 ? 1305 : 1412);
    block.bytes[16] = 0xC0;
    block.bytes[18] = 8;
    const std::uint8_t counts3[] = {1, 1, 3, 2, 1};
    const std::uint8_t counts4[] = {1, 1, 4, 3, 1};
    std::memcpy(block.bytes.data() + 19, layout == 3 ? counts3 : counts4, 5);
    const std::uint8_t enabled3[] = {1, 0, 1, 1, 1, 1, 0, 1};
    const std::uint8_t enabled4[] = {1, 0, 0, 1, 1, 1, 1, 1, 0, 1};
    std::memcpy(block.bytes.data() + 24, layout == 3 ? enabled3 : enabled4,
                layout == 3 ? sizeof enabled3 : sizeof enabled4);
    block.bytes[48] = 5;
    block.bytes[50] = 7;
    block.bytes[51] = 19;
    block.bytes[52] = 1;
    std::size_t i = 0;
    PutRange(block, layout, i++, 10475, 10575);
    PutRange(block, layout, i++, 13400, 13500);
    PutRange(block, layout, i++, 22900, 23100);
    PutRange(block, layout, i++, 24050, 24150);
    PutRange(block, layout, i++, 24150, 24250);
    if (layout == 4) PutRange(block, layout, i++, 24700, 24900);
    PutRange(block, layout, i++, 33400, 34300);
    PutRange(block, layout, i++, 34300, 35000);
    if (layout == 4) PutRange(block, layout, i++, 35000, 36000);
    PutRange(block, layout, i++, 0, 0);
    if (layout == 3) {
        (void)block.SetApn("hxdata");
        (void)block.SetServer("gps.kivrel.example");
        (void)block.SetPort("9000");
        (void)block.SetUserName("card");
        (void)block.SetPassword("card");
    } else {
        PutU32(block.bytes.data() + 59, kSettingsMarker);
    }
    block.StoreSum(layout);
    return block;
}

int ShowSettings(int layout) {
    ConfigInputs inputs;
    inputs.title = L"Setting";
    inputs.bootVersion = 1011;
    inputs.layout = layout == 4 ? 4 : 3;
    SettingsBlock block = GalleryBlock(inputs.layout);
    MessageBoxPrompts prompts;
    CConfigDialog dialog(prompts, inputs, &block);
    return dialog.DoModal(::GetModuleHandleW(nullptr), nullptr) == IDOK ? 0 : 1;
}

}  // namespace
}  // namespace kivrel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const std::wstring what = count > 1 ? args[1] : L"province";
    const int number = count > 2 ? std::wcstol(args[2], nullptr, 10) : 0;
    ::LocalFree(args);
    if (what == L"config") return kivrel::ShowSettings(number);
    if (what == L"national") return kivrel::ShowProvinces(5, true);
    return kivrel::ShowProvinces(number, false);
}
