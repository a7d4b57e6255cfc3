#include "settings/province_selection.h"

#include <algorithm>

#include "base/prompts.h"

namespace kivrel {
namespace {

// Where each province's box sits on the map, by entry; the two longest names get wider boxes.
constexpr std::array<DialogUnitRect, kProvinceCount> kBoxRects = {{
    {461, 125, 32, 10},  // 北京
    {539, 204, 32, 10},  // 上海
    {475, 136, 32, 10},  // 天津
    {363, 218, 32, 10},  // 重庆
    {555, 47, 40, 10},   // 黑龙江
    {549, 79, 32, 10},   // 吉林
    {523, 102, 32, 10},  // 辽宁
    {358, 124, 40, 10},  // 内蒙古
    {444, 143, 32, 10},  // 河北
    {408, 149, 32, 10},  // 山西
    {367, 185, 32, 10},  // 陕西
    {478, 156, 32, 10},  // 山东
    {119, 102, 32, 10},  // 新疆
    {100, 196, 32, 10},  // 西藏
    {208, 167, 32, 10},  // 青海
    {320, 177, 32, 10},  // 甘肃
    {344, 156, 32, 10},  // 宁夏
    {425, 186, 32, 10},  // 河南
    {511, 188, 32, 10},  // 江苏
    {413, 211, 32, 10},  // 湖北
    {516, 227, 32, 10},  // 浙江
    {476, 206, 32, 10},  // 安徽
    {495, 258, 32, 10},  // 福建
    {463, 244, 32, 10},  // 江西
    {409, 246, 32, 10},  // 湖南
    {349, 258, 32, 10},  // 贵州
    {297, 220, 32, 10},  // 四川
    {443, 284, 32, 10},  // 广东
    {275, 280, 32, 10},  // 云南
    {375, 283, 32, 10},  // 广西
    {396, 328, 32, 10},  // 海南
    {459, 299, 32, 10},  // 香港
    {444, 308, 32, 10},  // 澳门 (box 2033)
    {542, 274, 32, 10},  // 台湾 (box 2032)
}};

constexpr int kFirstBoxId = 2000;
constexpr std::size_t kMacau = 32;
constexpr std::size_t kTaiwan = 33;

}  // namespace

DialogUnitRect ProvinceBoxRect(std::size_t entry) noexcept {
    return entry < kProvinceCount ? kBoxRects[entry] : DialogUnitRect{};
}

int ProvinceBoxId(std::size_t entry) noexcept {
    if (entry == kMacau) return kFirstBoxId + static_cast<int>(kTaiwan);
    if (entry == kTaiwan) return kFirstBoxId + static_cast<int>(kMacau);
    return entry < kProvinceCount ? kFirstBoxId + static_cast<int>(entry) : -1;
}

int ProvinceEntryOfBox(int id) noexcept {
    for (std::size_t entry = 0; entry < kProvinceCount; ++entry) {
        if (ProvinceBoxId(entry) == id) return static_cast<int>(entry);
    }
    return -1;
}

std::wstring ProvinceCounterText(int checked) {
    return L"分省全部类型数据包，最多可自行勾选(" + std::to_wstring(kProvinceLimit) +
           L")个省数据，超过无法升级，请在地图上勾选。已勾选(" + std::to_wstring(checked) +
           L")省份。";
}

std::wstring FewProvincesQuestion(int checked) {
    return L"只选择了" + std::to_wstring(checked) +
           L"个省份，最多可以选择12个省份，更好的体验建议选满12个省份，确定不选择直接更新？";
}

ProvinceSelectionModel::ProvinceSelectionModel(Prompts& prompts, ProvinceView& view)
    : prompts(prompts), view(view), counterText(ProvinceCounterText(0)) {}

void ProvinceSelectionModel::Start() {
    SetCounter(CheckedCount());
}

bool ProvinceSelectionModel::Checked(std::size_t entry) const noexcept {
    return entry < kProvinceCount && checkedBoxes[entry];
}

int ProvinceSelectionModel::CheckedCount() const noexcept {
    return static_cast<int>(std::count(checkedBoxes.begin(), checkedBoxes.end(), true));
}

void ProvinceSelectionModel::SetCounter(int checked) {
    counterText = ProvinceCounterText(checked);
    view.SetText(kIdProvinceCounter, counterText);
}

void ProvinceSelectionModel::OnProvinceClicked(std::size_t entry, bool checked) {
    if (entry >= kProvinceCount) return;
    checkedBoxes[entry] = checked;
    const int count = CheckedCount();
    if (count > kProvinceLimit) {
        checkedBoxes[entry] = false;
        view.SetChecked(ProvinceBoxId(entry), false);
        prompts.ShowMessage(kTextThirteenthProvince, kProvinceCaption);
        return;
    }
    SetCounter(count);
    if (count > 0 && national) {
        national = false;
        view.SetChecked(kIdNationalBox, false);
    }
}

void ProvinceSelectionModel::OnNationalClicked(bool checked) {
    national = checked;
    if (!checked) return;
    for (std::size_t entry = 0; entry < kProvinceCount; ++entry) {
        if (!checkedBoxes[entry]) continue;
        checkedBoxes[entry] = false;
        view.SetChecked(ProvinceBoxId(entry), false);
    }
    SetCounter(CheckedCount());
}

void ProvinceSelectionModel::OnOk() {
    if (Accepts()) view.EndWindow(true);
}

void ProvinceSelectionModel::OnCancel() {
    view.EndWindow(false);
}

bool ProvinceSelectionModel::Accepts() {
    if (national) {
        selection.mode = 0;
        return true;
    }
    selection.mode = 1;
    for (std::size_t entry = 0; entry < kProvinceCount; ++entry) {
        selection.flags[entry] = checkedBoxes[entry] ? 1 : 0;
    }
    const int count = CheckedCount();
    if (count == 0) {
        prompts.ShowMessage(kTextNothingChosen, kProvinceCaption);
        return false;
    }
    if (count < kProvinceLimit)
        return prompts.AskYesNo(FewProvincesQuestion(count), kProvinceCaption);
    if (count == kProvinceLimit) return true;
    prompts.ShowMessage(kTextTooManyOnOk, kProvinceCaption);
    return false;
}

int AskForProvinces(Prompts& prompts, ProvinceWindow& window, ProvinceSelection& stored) {
    if (!prompts.AskYesNo(kProvinceQuestion, kToolCaption)) {
        stored.mode = 0;
        return 0;
    }
    ProvinceSelection chosen;
    if (!window.Run(chosen)) return 1;
    stored = chosen;
    return 0;
}

}  // namespace kivrel
