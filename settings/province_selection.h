#pragma once
// The province window's behaviour, without a window: which boxes are ticked, the counter text,
// the limit of twelve provinces, the national package box and what OK accepts; and the main
// window's question that leads to it. The Win32 view (CDialogProvince) only draws and
// forwards; the native tests drive this directly.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "package/province_names.h"

namespace kivrel {

class Prompts;

inline constexpr int kIdProvinceDialog = 137;  // dialog template
inline constexpr int kIdProvinceOk = 1;
inline constexpr int kIdProvinceCounter = 1039;
inline constexpr int kIdProvinceAdvice = 1040;
inline constexpr int kIdNationalBox = 1042;
inline constexpr int kProvinceLimit = 12;

// A control's place in dialog units.
struct DialogUnitRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const DialogUnitRect&, const DialogUnitRect&) = default;
};

inline constexpr DialogUnitRect kProvinceDialogSize{0, 0, 624, 342};
inline constexpr DialogUnitRect kProvinceOkRect{271, 318, 82, 24};
inline constexpr DialogUnitRect kProvinceCounterRect{7, 6, 373, 11};
inline constexpr DialogUnitRect kProvinceAdviceRect{8, 22, 160, 11};
inline constexpr DialogUnitRect kNationalBoxRect{15, 319, 221, 10};

// The province boxes on the map, by entry of the province name table.
[[nodiscard]] DialogUnitRect ProvinceBoxRect(std::size_t entry) noexcept;
// The box of entry i is 2000 + i, except that entries 32 and 33 swap their ids.
[[nodiscard]] int ProvinceBoxId(std::size_t entry) noexcept;
// The entry whose box has this id, or -1.
[[nodiscard]] int ProvinceEntryOfBox(int id) noexcept;

inline constexpr std::wstring_view kProvinceCaption = L"省份选择";
inline constexpr std::wstring_view kProvinceAdviceText = L"建议使用:分省全部类型数据包。";
inline constexpr std::wstring_view kNationalBoxText =
    L"全国数据包测速照相类精简包(无生活安全提示数据类)";
inline constexpr std::wstring_view kProvinceQuestion =
    L"进入省份选择界面（更新分省全部类型数据包）请选择‘是’；直接升级全国数据包测速照相类精简包"
    L"(无生活安全提示数据类)请选择‘否’，建议选择‘是’！";
inline constexpr std::wstring_view kTextThirteenthProvince =
    L"已经选择12个省份，分省数据包最多只能选择12个省份！请取消勾选省份后再选择。";
inline constexpr std::wstring_view kTextNothingChosen = L"至少需选择一个省数据或者选择全国包！";
inline constexpr std::wstring_view kTextTooManyOnOk = L"最多只能选择12个省分更新！";

// "...最多可自行勾选(12)个省数据...已勾选(N)省份。"
[[nodiscard]] std::wstring ProvinceCounterText(int checked);
// "只选择了N个省份，...确定不选择直接更新？"
[[nodiscard]] std::wstring FewProvincesQuestion(int checked);

// What the main window keeps after the province window: mode 0 = national package, 1 = the
// flagged provinces.
struct ProvinceSelection {
    std::int32_t mode = 0;
    std::array<std::int32_t, kProvinceCount> flags{};
    friend bool operator==(const ProvinceSelection&, const ProvinceSelection&) = default;
};

// The province window's controls, as the model needs them: the boxes it changes by itself (a
// refused thirteenth box, the boxes the national box clears), the counter, and the window's
// end. Implemented by CDialogProvince; tests record.
class ProvinceView {
public:
    virtual ~ProvinceView() = default;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual void SetText(int id, std::wstring_view text) = 0;
    // Ends the window, with IDOK when `accepted` and IDCANCEL otherwise.
    virtual void EndWindow(bool accepted) = 0;
};

// One run of the province window. Every run starts with all boxes unchecked.
class ProvinceSelectionModel {
public:
    ProvinceSelectionModel(Prompts& prompts, ProvinceView& view);

    // Dialog initialisation, after the window has set its fonts: the counter at 0.
    void Start();
    // The box of `entry` was clicked and has toggled itself to `checked`.
    void OnProvinceClicked(std::size_t entry, bool checked);
    // The national package box was clicked and has toggled itself to `checked`.
    void OnNationalClicked(bool checked);
    // OK: the window ends accepted (Selection() then holds the choice), or stays open.
    void OnOk();
    // The close box and Escape: the window ends, nothing chosen.
    void OnCancel();

    [[nodiscard]] bool Checked(std::size_t entry) const noexcept;
    [[nodiscard]] bool NationalChecked() const noexcept { return national; }
    [[nodiscard]] int CheckedCount() const noexcept;
    [[nodiscard]] const std::wstring& CounterText() const noexcept { return counterText; }
    [[nodiscard]] const ProvinceSelection& Selection() const noexcept { return selection; }

private:
    void SetCounter(int checked);
    // Fills the selection from the boxes; true when they make a choice OK takes (asking
    // first about fewer than twelve provinces).
    [[nodiscard]] bool Accepts();

    Prompts& prompts;
    ProvinceView& view;
    std::array<bool, kProvinceCount> checkedBoxes{};
    bool national = false;
    std::wstring counterText;
    ProvinceSelection selection;
};

// Runs the province window once; true when it ended with IDOK and `chosen` holds its choice.
class ProvinceWindow {
public:
    virtual ~ProvinceWindow() = default;
    [[nodiscard]] virtual bool Run(ProvinceSelection& chosen) = 0;
};

// The main window's answer to the update's province request: asks whether to choose provinces;
// No stores mode 0 (the flags stay), Yes runs the window and stores its choice on OK. Returns 0
// to go on with `stored`, 1 when the user closed the window (the update is abandoned; `stored`
// is left as it was).
[[nodiscard]] int AskForProvinces(Prompts& prompts, ProvinceWindow& window,
                                  ProvinceSelection& stored);

}  // namespace kivrel
