#include "settings/config_dialog_win32.h"

#include "base/prompts.h"
#include "package/carrier_profiles.h"

namespace kivrel {

CConfigDialog::CConfigDialog(Prompts& prompts, const ConfigInputs& inputs, SettingsBlock* block)
    : prompts(prompts), inputs(inputs), block(block) {}

INT_PTR CConfigDialog::DoModal(HINSTANCE instance, HWND parent) {
    if (block == nullptr) return IDCANCEL;
    return RunModal(instance, kIdConfigDialog, parent);
}

BOOL CConfigDialog::OnInitDialog() {
    model = std::make_unique<ConfigModel>(inputs, *block);
    ::SetWindowTextW(Window(), model->Title().c_str());

    const ConfigEntries& initial = model->Initial();
    if (model->Layout() == 3) {
        const HWND company = Item(kIdCompany);
        for (const CarrierProfile& profile : CarrierProfiles()) {
            ::SendMessageW(company, CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(std::wstring(profile.name).c_str()));
        }
        ::SetWindowTextW(company, model->CompanyText().c_str());
        ShowCredentials(initial);
        SetText(kIdServer, initial.server);
        SetText(kIdPort, initial.port);
    }
    CreateBandBoxes();
    for (const auto& [id, text] : model->Texts()) SetText(id, text);
    ::CheckDlgButton(Window(), kIdFrequencyDisplay,
                     initial.frequencyDisplay ? BST_CHECKED : BST_UNCHECKED);
    SetText(kIdTimeZone, initial.timeZone);
    SetText(kIdDaytime, initial.daytime);
    SetText(kIdNighttime, initial.nighttime);
    for (int id :
         {kIdTimeZoneLabel, kIdTimeZone, kIdDaytimeLabel, kIdDaytime, kIdNighttimeLabel,
          kIdNighttime, kIdFrequencyDisplay, kIdTwelveHour, kIdBandAnchor1, kIdBandAnchor2}) {
        ::ShowWindow(Item(id), model->Shown(id) ? SW_SHOW : SW_HIDE);
    }
    for (int id : kNetworkControlIds) ::ShowWindow(Item(id), model->Shown(id) ? SW_SHOW : SW_HIDE);
    return TRUE;
}

void CConfigDialog::ShowCredentials(const ConfigEntries& entries) {
    SetText(kIdApn, entries.apn);
    SetText(kIdUser, entries.userName);
    SetText(kIdPassword, entries.password);
    for (int id : {kIdApn, kIdUser, kIdPassword}) {
        ::EnableWindow(Item(id), model->CredentialsEditable() ? TRUE : FALSE);
    }
}

PixelRect CConfigDialog::ClientRectOf(int id) const {
    RECT rect{};
    ::GetWindowRect(Item(id), &rect);
    ::MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

void CConfigDialog::CreateBandBoxes() {
    const PixelRect anchor1 = ClientRectOf(kIdBandAnchor1);
    const PixelRect anchor2 = ClientRectOf(kIdBandAnchor2);
    const auto dialogFont = static_cast<WPARAM>(::SendMessageW(Window(), WM_GETFONT, 0, 0));
    const auto instance =
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(Window(), GWLP_HINSTANCE));
    for (const BandBox& box : model->Bands()) {
        const PixelRect place = ConfigModel::BandBoxRect(box, anchor1, anchor2);
        const HWND control = ::CreateWindowExW(
            0, L"BUTTON", box.label.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
            place.left, place.top, place.right - place.left, place.Height(), Window(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(box.id)), instance, nullptr);
        if (control == nullptr) continue;
        ::SendMessageW(control, WM_SETFONT, dialogFont, FALSE);
        ::SendMessageW(control, BM_SETCHECK, box.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        bandBoxes.push_back(control);
    }
}

void CConfigDialog::DestroyBandBoxes() {
    for (HWND control : bandBoxes) ::DestroyWindow(control);
    bandBoxes.clear();
}

std::optional<LRESULT> CConfigDialog::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message == WM_COMMAND) return OnCommand(wParam);
    return std::nullopt;
}

std::optional<LRESULT> CConfigDialog::OnCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDOK:
            OnOk();
            return 0;
        case IDCANCEL:
            End(IDCANCEL);
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
    if (picked == CB_ERR) return;
    ConfigEntries entries;
    model->PickCarrier(static_cast<std::size_t>(picked), entries);
    ShowCredentials(entries);
}

std::wstring CConfigDialog::TextOf(int id) const {
    const HWND control = Item(id);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void CConfigDialog::SetText(int id, std::wstring_view text) {
    ::SetDlgItemTextW(Window(), id, std::wstring(text).c_str());
}

void CConfigDialog::OnOk() {
    ConfigEntries entries;
    entries.timeZone = TextOf(kIdTimeZone);
    entries.daytime = TextOf(kIdDaytime);
    entries.nighttime = TextOf(kIdNighttime);
    for (HWND control : bandBoxes) {
        entries.bands.push_back(::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED);
    }
    entries.frequencyDisplay = ::IsDlgButtonChecked(Window(), kIdFrequencyDisplay) == BST_CHECKED;
    // Hidden boxes are empty to the checks, whatever they hold.
    const auto shownText = [&](int id) { return model->Shown(id) ? TextOf(id) : std::wstring(); };
    entries.apn = shownText(kIdApn);
    entries.userName = shownText(kIdUser);
    entries.password = shownText(kIdPassword);
    entries.server = shownText(kIdServer);
    entries.port = shownText(kIdPort);

    // A refused OK stores nothing and leaves the window open.
    if (const std::wstring error = model->Ok(entries, *block); !error.empty()) {
        prompts.ShowMessage(error, kToolCaption);
        return;
    }
    End(IDOK);
}

void CConfigDialog::End(INT_PTR result) {
    DestroyBandBoxes();
    EndDialog(result);
}

bool ConfigWindowWin32::Run(const ConfigInputs& inputs, SettingsBlock& block) {
    CConfigDialog dialog(prompts, inputs, &block);
    return dialog.DoModal(instance, parent) == IDOK;
}

}  // namespace kivrel
