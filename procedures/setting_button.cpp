#include "procedures/setting_button.h"

#include "base/prompts.h"
#include "device/gps_unit.h"

namespace kivrel {

std::optional<SettingOutcome> CheckSettingsEditable(const CGpsUnit& unit, Prompts& prompts) {
    if (!unit.Connected()) {
        prompts.ShowError(kTextNoHardware);
        return SettingOutcome::kNoUnit;
    }
    if (unit.settingsFormat <= 0) {
        prompts.ShowError(kTextUnusableSettings);
        return SettingOutcome::kUnusable;
    }
    if (unit.settingsRevision > kHighestSettingsRevision) {
        prompts.ShowError(kTextUpgradeTool);
        return SettingOutcome::kToolTooOld;
    }
    return std::nullopt;
}

UnitFingerprint FingerprintOf(const CGpsUnit& unit) {
    return {unit.bootVersion,    unit.capacity,         unit.modelId,      unit.identity,
            unit.settingsFormat, unit.settingsRevision, unit.settingsBlock};
}

SettingOutcome WriteEditedSettings(CGpsUnit& unit, Prompts& prompts, const UnitFingerprint& before,
                                   const SettingsBlock& block) {
    if (!unit.Connected()) return SettingOutcome::kUnitGone;
    // The window is modal, but the main window still handles unplugging and connecting while
    // it is open: a unit read since then may be another one, or hold other settings.
    if (FingerprintOf(unit) != before) {
        prompts.ShowError(kTextOtherUnit);
        return SettingOutcome::kOtherUnit;
    }
    if (!unit.WriteSettings(&block)) {
        prompts.ShowError(kTextConfigurationFailed);
        return SettingOutcome::kWriteFailed;
    }
    if (!unit.SendSettingsDone()) {
        prompts.ShowError(kTextConfigurationFailed);
        return SettingOutcome::kWriteFailed;
    }
    prompts.ShowInformation(kTextConfigurationSuccess, kToolCaption);
    return SettingOutcome::kWritten;
}

SettingOutcome RunSettingButton(CGpsUnit& unit, Prompts& prompts, ConfigWindow& window,
                                const VendorConfig& vendor) {
    if (const auto refused = CheckSettingsEditable(unit, prompts)) return *refused;
    if (unit.settingsFormat >= 3 && unit.settingsBlock.RadarType() < 0 &&
        !prompts.AskYesNo(kTextUnknownRadar, kToolCaption)) {
        return SettingOutcome::kDeclined;
    }
    const UnitFingerprint before = FingerprintOf(unit);
    SettingsBlock copy = unit.settingsBlock;
    if (!window.Run(ConfigInputsOf(unit, std::wstring(kSettingsTitle), vendor), copy)) {
        return SettingOutcome::kCancelled;
    }
    return WriteEditedSettings(unit, prompts, before, copy);
}

}  // namespace kivrel
