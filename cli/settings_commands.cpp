// `kivrel settings show|set|save|load`: the settings window for scripts and for systems without
// it. `set` runs the Setting button's checks and the window's model with KEY=VALUE in place of
// clicks, so it accepts, refuses (with the window's texts) and stores exactly what the window
// does; every write is the unit's WriteSettings and SettingsDone, reported as the unit answered.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/ascii_text.h"
#include "base/local_file.h"
#include "base/native_path.h"
#include "base/text.h"
#include "cli/cli_prompts.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/device_open.h"
#include "cli/unit_json.h"
#include "device/gps_unit.h"
#include "package/carrier_profiles.h"
#include "package/vendor_config.h"
#include "procedures/setting_button.h"
#include "settings/config_model.h"
#include "settings_block/band_table.h"

namespace kivrel::cli {
namespace {

std::string Utf8(std::wstring_view text) {
    return WideToUtf8(text);
}

// The unit's 8-bit texts, one character per byte as the window shows them.
std::string UnitText(std::string_view bytes) {
    return WideToUtf8(WidenBytes(bytes));
}

// --- the settings `set` takes, as the window shows them ----------------------------------------

enum class SettingKind { kNumber, kSwitch, kText, kCarrier };

// One control of the window as a KEY=VALUE: its label, how to read its value from the
// entries, and how to write one (an error text, empty on success).
struct Setting {
    std::string key;
    std::string label;
    SettingKind kind;
    std::function<std::string(const ConfigEntries&)> get;
    std::function<std::string(ConfigEntries&, const std::string&)> set;
};

std::optional<bool> ParseSwitch(std::string_view value) {
    for (std::string_view on : {"on", "1", "yes", "true"}) {
        if (EqualsIgnoringAsciiCase(value, on)) return true;
    }
    for (std::string_view off : {"off", "0", "no", "false"}) {
        if (EqualsIgnoringAsciiCase(value, off)) return false;
    }
    return std::nullopt;
}

Setting TextSetting(std::string key, std::string label, std::wstring ConfigEntries::*field,
                    SettingKind kind = SettingKind::kText) {
    return {std::move(key), std::move(label), kind,
            [field](const ConfigEntries& e) { return Utf8(e.*field); },
            [field](ConfigEntries& e, const std::string& value) {
                e.*field = Utf8ToWide(value);
                return std::string();
            }};
}

// The window's controls that the unit's block offers, in the window's order.
std::vector<Setting> SettingsOf(ConfigModel& model) {
    std::vector<Setting> settings;
    if (model.Shown(kIdTimeZone)) {
        settings.push_back(TextSetting("time_zone", Utf8(kTimeZoneLabelText),
                                       &ConfigEntries::timeZone, SettingKind::kNumber));
    }
    if (model.Shown(kIdDaytime)) {
        settings.push_back(TextSetting("daytime_start", Utf8(kDaytimeLabelText),
                                       &ConfigEntries::daytime, SettingKind::kNumber));
    }
    if (model.Shown(kIdNighttime)) {
        settings.push_back(TextSetting("nighttime_start", Utf8(kNighttimeLabelText),
                                       &ConfigEntries::nighttime, SettingKind::kNumber));
    }
    const auto switchSetting = [](const std::string& key, std::string label, auto get, auto put) {
        return Setting{key, std::move(label), SettingKind::kSwitch,
                       [get](const ConfigEntries& e) { return std::string(get(e) ? "on" : "off"); },
                       [put, key](ConfigEntries& e, const std::string& value) {
                           const std::optional<bool> on = ParseSwitch(value);
                           if (!on) return key + ": give on or off";
                           put(e, *on);
                           return std::string();
                       }};
    };
    if (model.Shown(kIdFrequencyDisplay)) {
        settings.push_back(switchSetting(
            "radar_frequency_display", Utf8(kFrequencyDisplayText),
            [](const ConfigEntries& e) { return e.frequencyDisplay; },
            [](ConfigEntries& e, bool on) { e.frequencyDisplay = on; }));
    }

    for (std::size_t i = 0; i < model.Bands().size(); ++i) {
        settings.push_back(switchSetting(
            model.Bands()[i].key, Utf8(model.Bands()[i].label),
            [i](const ConfigEntries& e) { return i < e.bands.size() && e.bands[i]; },
            [i](ConfigEntries& e, bool on) {
                if (i < e.bands.size()) e.bands[i] = on;
            }));
    }

    if (model.Layout() != 3) return settings;
    ConfigModel* owner = &model;
    settings.push_back({"carrier", "Company", SettingKind::kCarrier,
                        [owner](const ConfigEntries&) {
                            return owner->Carrier() < 0 ? std::string()
                                                        : std::to_string(owner->Carrier());
                        },
                        [owner](ConfigEntries& e, const std::string& value) {
                            const auto& profiles = CarrierProfiles();
                            for (std::size_t i = 0; i < profiles.size(); ++i) {
                                if (value == std::to_string(i) ||
                                    EqualsIgnoringAsciiCase(Utf8ToWide(value), profiles[i].name)) {
                                    owner->PickCarrier(i, e);
                                    return std::string();
                                }
                            }
                            return "carrier: give 0-" + std::to_string(profiles.size() - 1) +
                                   " or a name that `kivrel settings show` lists";
                        }});
    settings.push_back(TextSetting("apn", "APN", &ConfigEntries::apn));
    settings.push_back(TextSetting("user", "User", &ConfigEntries::userName));
    settings.push_back(TextSetting("password", "Psw", &ConfigEntries::password));
    settings.push_back(TextSetting("server", "Server", &ConfigEntries::server));
    settings.push_back(TextSetting("port", "Port", &ConfigEntries::port));
    return settings;
}

bool IsCredential(std::string_view key) {
    return key == "apn" || key == "user" || key == "password";
}

// KEY=VALUE pairs as given; false with `error` set for one without "=".
bool SplitAssignments(const std::vector<std::string>& arguments,
                      std::vector<std::pair<std::string, std::string>>& pairs, std::string& error) {
    for (const std::string& argument : arguments) {
        std::string key;
        std::string value;
        if (!SplitAssignment(argument, key, value)) {
            error = "\"" + argument + "\" is not KEY=VALUE";
            return false;
        }
        pairs.emplace_back(std::move(key), std::move(value));
    }
    return true;
}

// The window, run by KEY=VALUE: start-up over the block, the values put in the controls, and
// the window's OK. Its refusals are printed; the window then "stays open", that is, ends
// without OK.
class AssignmentWindow : public ConfigWindow {
public:
    explicit AssignmentWindow(std::vector<std::pair<std::string, std::string>> pairs)
        : pairs(std::move(pairs)) {}

    bool Run(const ConfigInputs& inputs, SettingsBlock& block) override {
        ConfigModel model(inputs, block);
        ConfigEntries entries = model.Initial();
        if (std::string error = Apply(model, block, entries); !error.empty()) {
            std::cerr << "kivrel: " << error << '\n';
            return false;
        }
        if (const std::wstring refused = model.Ok(entries, block); !refused.empty()) {
            PrintLine(stderr, refused);
            return false;
        }
        return true;
    }

private:
    std::string Apply(ConfigModel& model, const SettingsBlock& block, ConfigEntries& entries) {
        const std::vector<Setting> settings = SettingsOf(model);
        const auto find = [&](const std::string& key) -> const Setting* {
            for (const Setting& s : settings) {
                if (s.key == key) return &s;
            }
            return nullptr;
        };
        for (const auto& [key, value] : pairs) {
            if (find(key) == nullptr) {
                return "this unit has no setting \"" + key +
                       "\" (`kivrel settings show` lists its settings)";
            }
        }
        // The carrier first: it fills APN, user and password, which may then be given.
        const auto carrier = std::find_if(pairs.begin(), pairs.end(),
                                          [](const auto& p) { return p.first == "carrier"; });
        if (carrier != pairs.end()) {
            if (std::string error = find("carrier")->set(entries, carrier->second);
                !error.empty()) {
                return error;
            }
        }
        const bool credentials = std::any_of(pairs.begin(), pairs.end(),
                                             [](const auto& p) { return IsCredential(p.first); });
        if (credentials && !model.CredentialsEditable()) {
            if (carrier != pairs.end()) {
                return "apn, user and password come with the carrier; give carrier=" +
                       std::to_string(kEditableCarrierProfile) + " to set them";
            }
            // As choosing the editable carrier in the window and typing: what is not typed
            // stays as the unit has it.
            model.PickCarrier(kEditableCarrierProfile, entries);
            entries.apn = WidenBytes(block.Apn());
            entries.userName = WidenBytes(block.UserName());
            entries.password = WidenBytes(block.Password());
        }
        for (const auto& [key, value] : pairs) {
            if (key == "carrier") continue;
            if (std::string error = find(key)->set(entries, value); !error.empty()) return error;
        }
        return {};
    }

    std::vector<std::pair<std::string, std::string>> pairs;
};

// --- show -------------------------------------------------------------------------------

nlohmann::ordered_json BlockBands(const SettingsBlock& block, int layout) {
    nlohmann::ordered_json bands = nlohmann::ordered_json::array();
    if (layout <= 2) {
        for (std::size_t i = 0; i < kFixedBands.size(); ++i) {
            bands.push_back({{"name", kFixedBands[i].name},
                             {"low_mhz", kFixedBands[i].lowMhz},
                             {"high_mhz", kFixedBands[i].highMhz},
                             {"enabled", block.FixedBandEnabled(i)}});
        }
        return bands;
    }
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(block.SubBands().Total()),
                                             SettingsBlock::SubBandRoom(layout));
    for (std::size_t i = 0; i < count; ++i) {
        FrequencyRange range;
        (void)block.SubBandRange(layout, i, range);
        bands.push_back({{"name", block.SubBandName(i)},
                         {"low_mhz", range.lowMhz},
                         {"high_mhz", range.highMhz},
                         {"enabled", block.SubBandEnabled(i)}});
    }
    return bands;
}

nlohmann::ordered_json TypedValue(const Setting& setting, const ConfigEntries& entries) {
    const std::string value = setting.get(entries);
    switch (setting.kind) {
        case SettingKind::kNumber:
            if (const auto number = ParseBoxInteger(Utf8ToWide(value))) return *number;
            return value;
        case SettingKind::kSwitch:
            return value == "on";
        case SettingKind::kCarrier:
            if (value.empty()) return nullptr;
            return std::stoi(value);
        case SettingKind::kText:
            break;
    }
    return value;
}

nlohmann::ordered_json SettingsJson(const CGpsUnit& unit, ConfigModel& model) {
    const SettingsBlock& block = unit.settingsBlock;
    const int layout = unit.settingsFormat;
    nlohmann::ordered_json json = {
        {"settings_format", layout},
        {"settings_revision", unit.settingsRevision},
        {"title", Utf8(model.Title())},
        {"title_text", UnitText(block.TitleText())},
        {"program_version", block.ProgramVersion()},
        {"model_code", UnitText(block.ModelCode(layout))},
        {"band_list", model.SubBandList() ? "sub-band" : "five-band"},
        {"radar_frequency_display", block.ShowsRadarFrequency(layout)},
        {"twelve_hour_clock", block.TwelveHourClock(layout)},
        {"time_zone", block.TimeZone(layout)},
        {"daytime_start_hour", block.DaytimeHour(layout)},
        {"nighttime_start_hour", block.NighttimeHour(layout)},
        {"bands", BlockBands(block, layout)},
    };
    if (layout >= 3) {
        json["radar_type"] = block.RadarType();
        json["sub_band_display"] = block.SubBandDisplay();
        json["frequency_display_offered"] = block.FrequencyDisplayOffered();
    }
    if (layout == 3) {
        json["network"] = {{"apn", UnitText(block.Apn())},
                           {"server", UnitText(block.Server())},
                           {"port", UnitText(block.Port())},
                           {"user", UnitText(block.UserName())},
                           {"password", UnitText(block.Password())}};
        nlohmann::ordered_json carriers = nlohmann::ordered_json::array();
        for (const CarrierProfile& profile : CarrierProfiles())
            carriers.push_back(Utf8(profile.name));
        json["carriers"] = carriers;
    }
    nlohmann::ordered_json keys = nlohmann::ordered_json::object();
    nlohmann::ordered_json labels = nlohmann::ordered_json::object();
    for (const Setting& setting : SettingsOf(model)) {
        keys[setting.key] = TypedValue(setting, model.Initial());
        labels[setting.key] = setting.label;
    }
    json["settings"] = keys;
    json["labels"] = labels;
    return json;
}

void PrintSettings(const CGpsUnit& unit, ConfigModel& model) {
    std::cout << "Settings layout:   " << unit.settingsFormat << ", revision "
              << unit.settingsRevision << '\n'
              << "Window title:      " << Utf8(model.Title()) << '\n'
              << "Band list:         " << (model.SubBandList() ? "sub-bands" : "five bands")
              << "\n\nSettings (kivrel settings set KEY=VALUE ...):\n";
    const ConfigEntries& entries = model.Initial();
    for (const Setting& setting : SettingsOf(model)) {
        std::string value = setting.get(entries);
        std::string note = setting.label;
        if (setting.key == "password" && !value.empty()) value = std::string(value.size(), '*');
        if (setting.kind == SettingKind::kCarrier) {
            note = model.Carrier() < 0 ? "none: the unit's own APN, user and password are kept"
                                       : Utf8(model.CompanyText());
        }
        if (setting.kind == SettingKind::kSwitch) note = "on/off  " + note;
        std::string line = "  " + setting.key + "=" + value;
        line.resize(std::max<std::size_t>(line.size() + 2, 34), ' ');
        std::cout << line << note << '\n';
    }
    if (unit.settingsFormat != 3) return;
    std::cout << "\nCarriers (carrier=N; APN, user and password may be set with "
              << kEditableCarrierProfile << "):\n";
    const auto& profiles = CarrierProfiles();
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        std::cout << "  " << i << "  " << Utf8(profiles[i].name) << "  (APN "
                  << Utf8(profiles[i].apn) << ")\n";
    }
    if (model.Carrier() >= 0 && UnitText(unit.settingsBlock.UserName()) != Utf8(entries.userName)) {
        std::cout << "Note: the unit's user name differs from its carrier's; any change stores the "
                     "carrier's.\n";
    }
}

}  // namespace

std::optional<nlohmann::ordered_json> SettingsShowJson(const CGpsUnit& unit,
                                                       const VendorConfig& vendor,
                                                       std::string& whyNot) {
    if (unit.settingsFormat <= 0) {
        whyNot = Utf8(kTextUnusableSettings);
        return std::nullopt;
    }
    ConfigModel model(ConfigInputsOf(unit, std::wstring(kSettingsTitle), vendor),
                      unit.settingsBlock);
    return SettingsJson(unit, model);
}

namespace {

// --- set, save, load ----------------------------------------------------------------------

int ExitFor(SettingOutcome outcome) {
    return outcome == SettingOutcome::kWritten ? kExitOk : kExitFailure;
}

// Empty when `saved` may go back into `unit`: a whole block whose sum holds for the unit's
// layout, read back by the unit in that layout, from a unit of the same model.
std::string CheckSavedBlock(const CGpsUnit& unit, const std::vector<std::uint8_t>& bytes,
                            const std::string& file, SettingsBlock& saved) {
    if (bytes.size() != kSettingsBlockBytes) {
        return file + " is not a settings block: it should hold exactly 256 bytes";
    }
    saved = SettingsBlock(std::span<const std::uint8_t, kSettingsBlockBytes>(bytes.data(), 256));
    const int layout = RecogniseSettingsLayout(saved, unit.identity);
    if (layout <= 0) return "the settings block in " + file + " fails its checksum";
    if (layout != unit.settingsFormat) {
        return file + " holds a layout-" + std::to_string(layout) +
               " settings block; this unit's is layout " + std::to_string(unit.settingsFormat);
    }
    const std::string savedModel = saved.ModelCode(layout);
    const std::string unitModel = unit.settingsBlock.ModelCode(layout);
    if (savedModel != unitModel) {
        return file + " comes from a unit of model \"" + UnitText(savedModel) +
               "\"; this unit is model \"" + UnitText(unitModel) + "\"";
    }
    return {};
}

}  // namespace

int RunSettingsShow(const GlobalOptions& options) {
    CGpsUnit unit;
    if (const int status = OpenAndReadUnitForCommand(options, unit); status != kExitOk)
        return status;
    if (options.json) {
        std::string whyNot;
        const auto json = SettingsShowJson(unit, options.Vendor(), whyNot);
        if (!json) return Fail(whyNot);
        std::cout << JsonText(*json) << '\n';
        return kExitOk;
    }
    if (unit.settingsFormat <= 0) return Fail(Utf8(kTextUnusableSettings));
    ConfigModel model(ConfigInputsOf(unit, std::wstring(kSettingsTitle), options.Vendor()),
                      unit.settingsBlock);
    PrintSettings(unit, model);
    return kExitOk;
}

int RunSettingsSet(const GlobalOptions& options, const std::vector<std::string>& arguments) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (std::string error; !SplitAssignments(arguments, pairs, error)) {
        std::cerr << "kivrel: " << error << '\n';
        return kExitUsage;
    }
    CGpsUnit unit;
    if (const int status = OpenAndReadUnitForCommand(options, unit); status != kExitOk)
        return status;
    CliPrompts prompts(options.yes);
    AssignmentWindow window(std::move(pairs));
    const SettingOutcome outcome = RunSettingButton(unit, prompts, window, options.Vendor());
    if (outcome == SettingOutcome::kUnitGone)
        return Fail("the unit went away; nothing was written");
    return ExitFor(outcome);
}

int RunSettingsSave(const GlobalOptions& options, const std::string& file) {
    CGpsUnit unit;
    if (const int status = OpenAndReadUnitForCommand(options, unit); status != kExitOk)
        return status;
    if (unit.settingsFormat <= 0) return Fail(Utf8(kTextUnusableSettings));
    if (const std::uint32_t error =
            WriteWholeFile(WidePathFromArgument(file), unit.settingsBlock.bytes);
        error != 0) {
        return Fail("cannot write " + file + " (system error " + std::to_string(error) + ")");
    }
    std::cout << "Settings block (layout " << unit.settingsFormat << ", model \""
              << UnitText(unit.settingsBlock.ModelCode(unit.settingsFormat)) << "\") saved to "
              << file << '\n';
    return kExitOk;
}

int RunSettingsLoad(const GlobalOptions& options, const std::string& file) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFilePrefix(WidePathFromArgument(file), kSettingsBlockBytes + 1, bytes)) {
        return Fail("cannot read " + file);
    }
    CGpsUnit unit;
    if (const int status = OpenAndReadUnitForCommand(options, unit); status != kExitOk)
        return status;
    CliPrompts prompts(options.yes);
    if (const auto refused = CheckSettingsEditable(unit, prompts)) return ExitFor(*refused);
    SettingsBlock saved;
    if (std::string error = CheckSavedBlock(unit, bytes, file, saved); !error.empty()) {
        return Fail(error);
    }
    return ExitFor(WriteEditedSettings(unit, prompts, FingerprintOf(unit), saved));
}

}  // namespace kivrel::cli
