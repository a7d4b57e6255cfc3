#pragma once
// The settings window's behaviour, without a window: what start-up puts into the controls,
// what picking a carrier changes, and what OK and Cancel do. The rules it applies (the band
// list, the checks, what OK stores) are ConfigModel's, which `kivrel settings set` applies
// too. The Win32 view (CConfigDialog) only draws and forwards; the native tests drive this
// directly.

#include <cstddef>
#include <string>
#include <string_view>

#include "settings/config_model.h"

namespace kivrel {

class Prompts;

// The settings window's controls, as the model needs them. Implemented by CConfigDialog;
// tests record.
class ConfigView {
public:
    virtual ~ConfigView() = default;
    virtual void SetTitle(std::wstring_view title) = 0;
    virtual void SetText(int id, std::wstring_view text) = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual void Show(int id, bool shown) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    // Appends an entry to the Company box's list.
    virtual void AddCarrier(std::wstring_view name) = 0;
    // Creates a band check box in its column and row, ticked as `box` says.
    virtual void AddBandBox(const BandBox& box) = 0;
    // What a text box or a check box holds now.
    [[nodiscard]] virtual std::wstring Text(int id) const = 0;
    [[nodiscard]] virtual bool Checked(int id) const = 0;
    // Ends the window, with IDOK when `accepted` and IDCANCEL otherwise; the band boxes go
    // with it.
    virtual void EndWindow(bool accepted) = 0;
};

// One run of the settings window over `block`, the caller's copy of the unit's block: only a
// successful OK stores into it.
class ConfigWindowModel {
public:
    ConfigWindowModel(ConfigView& view, Prompts& prompts, const ConfigInputs& inputs,
                      SettingsBlock& block);

    // Dialog initialisation: the title, the carrier list, the band boxes, the texts and
    // values, and which controls show.
    void Start();
    // The user picked entry `index` of the Company box.
    void OnCarrierPicked(std::size_t index);
    // OK: every check in order; the first that fails is shown and the window stays open with
    // nothing stored, else the block takes the entries and the window ends accepted.
    void OnOk();
    // Cancel, the close box and Escape: the window ends, the block untouched.
    void OnCancel();

    [[nodiscard]] const ConfigModel& Rules() const noexcept { return rules; }

private:
    void ShowCredentials(const ConfigEntries& entries);
    // What the controls hold now; hidden boxes count as empty.
    [[nodiscard]] ConfigEntries Entries() const;

    ConfigView& view;
    Prompts& prompts;
    SettingsBlock& block;
    ConfigModel rules;
};

}  // namespace kivrel
