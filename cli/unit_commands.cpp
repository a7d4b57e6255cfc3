// `kivrel info` and `kivrel sim create`: reading a unit and making a simulated one.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <utility>

#include "base/text.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/device_open.h"
#include "cli/unit_json.h"
#include "device/gps_unit.h"
#include "device/sim/sim_directory.h"
#include "net/version_check.h"

namespace kivrel::cli {
namespace {

// The unit's 8-bit texts: one byte is one character, as the settings window shows them.
std::string EightBit(std::string_view bytes) {
    std::wstring wide;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        wide += b < 0x20 || b == 0x7F ? L'?' : static_cast<wchar_t>(b);
    }
    return WideToUtf8(wide);
}

// Vendor tags are GBK: only their ASCII is shown as text, the rest as dots.
std::string AsciiText(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::uint8_t b : bytes) text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
    return text;
}

std::string ModelText(std::uint32_t modelId) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(modelId), static_cast<std::uint8_t>(modelId >> 8),
        static_cast<std::uint8_t>(modelId >> 16), static_cast<std::uint8_t>(modelId >> 24)};
    return EightBit(std::string_view(reinterpret_cast<const char*>(bytes), 4));
}

std::string DateText(const BuildDate& date) {
    return IsErasedDate(date) ? "blank (erased flash)" : FormatDate(date);
}

// Layouts 0 and -1 are blocks the tool cannot use: the settings window never opens for them.
std::string SettingsLayoutText(std::int32_t layout) {
    if (layout > 0) return std::to_string(layout);
    return std::to_string(layout) + (layout == 0 ? " (not usable)" : " (not recognised)");
}

std::string IdentityText(std::span<const std::uint8_t> identity) {
    if (std::all_of(identity.begin(), identity.end(), [](std::uint8_t b) { return b == 0xFF; })) {
        return "blank (erased flash)";
    }
    // Appended rather than added to a literal: GCC 12 at -O3 warns falsely (-Wrestrict) on
    // "literal" + std::string once this is inlined.
    std::string text(1, '"');
    text += AsciiText(identity.first(16));
    text += "\" (";
    text += Hex(identity.first(16));
    text += "...)";
    return text;
}

}  // namespace

std::string JsonText(const nlohmann::json& json) {
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string JsonText(const nlohmann::ordered_json& json) {
    return json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::json UnitInfoJson(const CGpsUnit& unit) {
    const std::pair<const char*, const BuildDate*> regions[] = {{"main", &unit.mainDate},
                                                                {"resource", &unit.resourceDate},
                                                                {"database", &unit.databaseDate}};
    nlohmann::json blank = nlohmann::json::array();
    for (const auto& [name, date] : regions) {
        if (IsErasedDate(*date)) blank.push_back(name);
    }
    return {
        {"boot_version", unit.bootVersion},
        {"capacity", unit.capacity},
        {"model_id_hex", Hex32(unit.modelId)},
        {"settings_format", unit.settingsFormat},
        {"settings_revision", unit.settingsRevision},
        {"has_layout_record", unit.HasLayoutRecord()},
        {"identity_hex", Hex(unit.identity)},
        {"dates",
         {{"main", FormatDate(unit.mainDate)},
          {"resource", FormatDate(unit.resourceDate)},
          {"database", FormatDate(unit.databaseDate)}}},
        {"database_version", DatabaseVersionNumber(unit.databaseDate)},
        {"blank_regions", blank},
    };
}

namespace {}  // namespace

int RunInfo(const GlobalOptions& options) {
    CGpsUnit unit;
    if (const int status = OpenAndReadUnitForCommand(options, unit); status != kExitOk)
        return status;
    if (options.json) {
        std::cout << JsonText(UnitInfoJson(unit)) << '\n';
        return kExitOk;
    }
    std::cout << "Boot version:      " << unit.bootVersion << '\n'
              << "Capacity:          " << unit.capacity << " bytes\n"
              << "Model:             " << Hex32(unit.modelId) << " \"" << ModelText(unit.modelId)
              << "\"\n"
              << "Settings layout:   " << SettingsLayoutText(unit.settingsFormat) << ", revision "
              << unit.settingsRevision << '\n'
              << "Layout record:     " << (unit.HasLayoutRecord() ? "yes" : "no") << '\n'
              << "Identity:          " << IdentityText(unit.identity) << '\n'
              << "Main date:         " << DateText(unit.mainDate) << '\n'
              << "Resource date:     " << DateText(unit.resourceDate) << '\n'
              << "Database date:     " << DateText(unit.databaseDate) << '\n'
              << "Database version:  "
              << (IsErasedDate(unit.databaseDate)
                      ? std::string("none (blank)")
                      : std::to_string(DatabaseVersionNumber(unit.databaseDate)))
              << '\n';
    return kExitOk;
}

int RunSimCreate(const SimCreateOptions& create) {
    const std::filesystem::path directory(
        std::u8string(create.directory.begin(), create.directory.end()));
    if (std::string error = CreateSimDirectory(directory, create.bootVersion, create.capacity);
        !error.empty()) {
        return Fail(error);
    }
    std::cout << "Simulated unit in " << create.directory << ": boot version " << create.bootVersion
              << ", capacity " << create.capacity << " bytes\n";
    return kExitOk;
}

}  // namespace kivrel::cli
