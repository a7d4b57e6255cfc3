#include "settings/config_dialog_win32.h"

namespace kivrel {

CConfigDialog::CConfigDialog(Prompts& prompts, const ConfigInputs& inputs, SettingsBlock* block)
    : prompts(prompts), inputs(inputs), block(block) {}

INT_PTR CConfigDialog::DoModal(HINSTANCE instance, HWND parent) {
    if (block == nullptr) return IDCANCEL;
    return RunModal(instance, kIdConfigDialog, parent);
}

BOOL CConfigDialog::OnInitDialog() {
    model = std::make_unique<ConfigWindowModel>(*this, prompts, inputs, *block);
    model->Start();
    return TRUE;
}

std::optional<LRESULT> CConfigDialog::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message == WM_COMMAND) return OnCommand(wParam);
    return std::nullopt;
}

std::optional<LRESULT> CConfigDialog::OnCommand(WPARAM wParam) {
    if (!model) return std::nullopt;
    switch (LOWORD(wParam)) {
        case IDOK:
            model->OnOk();
            return 0;
        case IDCANCEL:
            model->OnCancel();
            return 0;
        case kIdCompany:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                OnCarrierPicked();
                return 0;
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

void CConfigDialog::OnCarrierPicked() {
    const LRESULT picked = ::SendMessageW(Item(kIdCompany), CB_GETCURSEL, 0, 0);
    if (picked != CB_ERR) model->OnCarrierPicked(static_cast<std::size_t>(picked));
}

PixelRect CConfigDialog::ClientRectOf(int id) const {
    RECT rect{};
    ::GetWindowRect(Item(id), &rect);
    ::MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

void CConfigDialog::DestroyBandBoxes() {
    for (HWND control : bandBoxes) ::DestroyWindow(control);
    bandBoxes.clear();
}

// ---- ConfigView ----

void CConfigDialog::SetTitle(std::wstring_view title) {
    ::SetWindowTextW(Window(), std::wstring(title).c_str());
}

void CConfigDialog::SetText(int id, std::wstring_view text) {
    ::SetDlgItemTextW(Window(), id, std::wstring(text).c_str());
}

void CConfigDialog::SetChecked(int id, bool checked) {
    ::CheckDlgButton(Window(), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CConfigDialog::Show(int id, bool shown) {
    ::ShowWindow(Item(id), shown ? SW_SHOW : SW_HIDE);
}

void CConfigDialog::Enable(int id, bool enabled) {
    ::EnableWindow(Item(id), enabled ? TRUE : FALSE);
}

void CConfigDialog::AddCarrier(std::wstring_view name) {
    ::SendMessageW(Item(kIdCompany), CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(std::wstring(name).c_str()));
}

void CConfigDialog::AddBandBox(const BandBox& box) {
    // Each box takes its place from the two hidden anchors of the template.
    const PixelRect place =
        ConfigModel::BandBoxRect(box, ClientRectOf(kIdBandAnchor1), ClientRectOf(kIdBandAnchor2));
    const auto instance =
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(Window(), GWLP_HINSTANCE));
    const HWND control = ::CreateWindowExW(
        0, L"BUTTON", box.label.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
        place.left, place.top, place.right - place.left, place.Height(), Window(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(box.id)), instance, nullptr);
    if (control == nullptr) return;
    ::SendMessageW(control, WM_SETFONT, ::SendMessageW(Window(), WM_GETFONT, 0, 0), FALSE);
    ::SendMessageW(control, BM_SETCHECK, box.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    bandBoxes.push_back(control);
}

std::wstring CConfigDialog::Text(int id) const {
    const HWND control = Item(id);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool CConfigDialog::Checked(int id) const {
    return ::IsDlgButtonChecked(Window(), id) == BST_CHECKED;
}

void CConfigDialog::EndWindow(bool accepted) {
    DestroyBandBoxes();
    EndDialog(accepted ? IDOK : IDCANCEL);
}

bool ConfigWindowWin32::Run(const ConfigInputs& inputs, SettingsBlock& block) {
    CConfigDialog dialog(prompts, inputs, &block);
    return dialog.DoModal(instance, parent) == IDOK;
}

}  // namespace kivrel
