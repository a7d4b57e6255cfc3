#pragma once
// What the main window's Setting button does around the settings window: the checks before it
// opens, and writing the edited block to the unit after OK. The window comes in through a seam,
// so the command line (which edits by KEY=VALUE) and the tests run the same procedure.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "settings/config_model.h"
#include "settings_block/settings_block.h"

namespace kivrel {

class CGpsUnit;
class Prompts;
struct VendorConfig;

// The tool's own version, shown in the main window's system menu: the highest settings
// revision it can edit.
inline constexpr std::int32_t kHighestSettingsRevision = 204;

inline constexpr std::wstring_view kSettingsTitle = L"Setting";
inline constexpr std::wstring_view kTextNoHardware = L"   No hardware connected!";
inline constexpr std::wstring_view kTextUnusableSettings =
    L"Please start the machine to initialization parameter!!!!!";
inline constexpr std::wstring_view kTextUpgradeTool = L"Please upgrade the current update tool!";
inline constexpr std::wstring_view kTextUnknownRadar =
    L"Can not identify the radar type,will use the default configuration, are you sure "
    L"continue?";
inline constexpr std::wstring_view kTextConfigurationSuccess = L"Configuration success!";
inline constexpr std::wstring_view kTextConfigurationFailed =
    L"Configuration failed! The unit did not take the new settings.";
inline constexpr std::wstring_view kTextOtherUnit =
    L"Another unit was connected while the settings were open. Nothing was written: press "
    L"Setting again to edit this unit's settings.";

enum class SettingOutcome {
    kNoUnit,       // "   No hardware connected!"
    kUnusable,     // layout 0 or -1
    kToolTooOld,   // settings revision above 204
    kDeclined,     // the radar-type question was not answered Yes
    kCancelled,    // the window ended without OK
    kUnitGone,     // OK, but the unit was unplugged meanwhile: nothing written, nothing shown
    kOtherUnit,    // OK, but another unit is connected now: nothing written
    kWriteFailed,  // the unit did not take the block, or did not confirm it
    kWritten,      // "Configuration success!"
};

// The checks every settings change makes before it starts (no unit, unusable layout, a
// revision this tool does not know). Shows the message and returns the outcome; nothing when
// the change may go ahead.
[[nodiscard]] std::optional<SettingOutcome> CheckSettingsEditable(const CGpsUnit& unit,
                                                                  Prompts& prompts);

// What identifies the unit a settings change was read from: whether it is still the one
// connected when the change is written.
struct UnitFingerprint {
    std::int32_t bootVersion = 0;
    std::uint32_t capacity = 0;
    std::uint32_t modelId = 0;
    std::array<std::uint8_t, 256> identity{};
    std::int32_t settingsFormat = 0;
    std::int32_t settingsRevision = 0;
    SettingsBlock settings;
    friend bool operator==(const UnitFingerprint&, const UnitFingerprint&) = default;
};
[[nodiscard]] UnitFingerprint FingerprintOf(const CGpsUnit& unit);

// Writes `block` to the unit read as `before` and commits it (SettingsDone, only after a block
// the unit took), and tells the user how it went: "Configuration success!" only when the unit
// took the block and confirmed the commit. Nothing is written when the unit has gone (nothing
// shown) or another one, or the same one with other settings, is connected now. On a refused
// write the unit object's copy of the block is put back as it was.
[[nodiscard]] SettingOutcome WriteEditedSettings(CGpsUnit& unit, Prompts& prompts,
                                                 const UnitFingerprint& before,
                                                 const SettingsBlock& block);

// The Setting button: the checks, the radar-type question, the window titled "Setting" over a
// copy of the unit's block, and the write after OK.
[[nodiscard]] SettingOutcome RunSettingButton(CGpsUnit& unit, Prompts& prompts,
                                              ConfigWindow& window, const VendorConfig& vendor);

}  // namespace kivrel
