#include "settings/config_window_model.h"

#include "base/prompts.h"
#include "package/carrier_profiles.h"

namespace kivrel {
namespace {

// The template controls that start-up shows or hides; the band boxes are made shown.
constexpr int kShownOrHidden[] = {
    kIdTimeZoneLabel, kIdTimeZone,         kIdDaytimeLabel, kIdDaytime,     kIdNighttimeLabel,
    kIdNighttime,     kIdFrequencyDisplay, kIdTwelveHour,   kIdBandAnchor1, kIdBandAnchor2};

}  // namespace

ConfigWindowModel::ConfigWindowModel(ConfigView& view, Prompts& prompts, const ConfigInputs& inputs,
                                     SettingsBlock& block)
    : view(view), prompts(prompts), block(block), rules(inputs, block) {}

void ConfigWindowModel::Start() {
    view.SetTitle(rules.Title());
    const ConfigEntries& initial = rules.Initial();
    if (rules.Layout() == 3) {
        for (const CarrierProfile& profile : CarrierProfiles()) view.AddCarrier(profile.name);
        view.SetText(kIdCompany, rules.CompanyText());
        ShowCredentials(initial);
        view.SetText(kIdServer, initial.server);
        view.SetText(kIdPort, initial.port);
    }
    for (const BandBox& box : rules.Bands()) view.AddBandBox(box);
    for (const auto& [id, text] : rules.Texts()) view.SetText(id, text);
    view.SetChecked(kIdFrequencyDisplay, initial.frequencyDisplay);
    view.SetText(kIdTimeZone, initial.timeZone);
    view.SetText(kIdDaytime, initial.daytime);
    view.SetText(kIdNighttime, initial.nighttime);
    for (int id : kShownOrHidden) view.Show(id, rules.Shown(id));
    for (int id : kNetworkControlIds) view.Show(id, rules.Shown(id));
}

void ConfigWindowModel::ShowCredentials(const ConfigEntries& entries) {
    view.SetText(kIdApn, entries.apn);
    view.SetText(kIdUser, entries.userName);
    view.SetText(kIdPassword, entries.password);
    for (int id : {kIdApn, kIdUser, kIdPassword}) view.Enable(id, rules.CredentialsEditable());
}

void ConfigWindowModel::OnCarrierPicked(std::size_t index) {
    ConfigEntries entries;
    rules.PickCarrier(index, entries);
    ShowCredentials(entries);
}

ConfigEntries ConfigWindowModel::Entries() const {
    ConfigEntries entries;
    entries.timeZone = view.Text(kIdTimeZone);
    entries.daytime = view.Text(kIdDaytime);
    entries.nighttime = view.Text(kIdNighttime);
    for (const BandBox& box : rules.Bands()) entries.bands.push_back(view.Checked(box.id));
    entries.frequencyDisplay = view.Checked(kIdFrequencyDisplay);
    // Hidden boxes are empty to the checks, whatever they hold.
    const auto shownText = [&](int id) { return rules.Shown(id) ? view.Text(id) : std::wstring(); };
    entries.apn = shownText(kIdApn);
    entries.userName = shownText(kIdUser);
    entries.password = shownText(kIdPassword);
    entries.server = shownText(kIdServer);
    entries.port = shownText(kIdPort);
    return entries;
}

void ConfigWindowModel::OnOk() {
    // A refused OK stores nothing and leaves the window open.
    if (const std::wstring error = rules.Ok(Entries(), block); !error.empty()) {
        prompts.ShowMessage(error, kToolCaption);
        return;
    }
    view.EndWindow(true);
}

void ConfigWindowModel::OnCancel() {
    view.EndWindow(false);
}

}  // namespace kivrel
