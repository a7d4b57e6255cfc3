#pragma once
// What `info --json` and `settings show --json` print, for the commands that also show them
// (the support report, the update's record).

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace kivrel {
class CGpsUnit;
struct VendorConfig;
}  // namespace kivrel

namespace kivrel::cli {

// The unit as `info --json` prints it.
[[nodiscard]] nlohmann::json UnitInfoJson(const CGpsUnit& unit);
// The unit's settings as `settings show --json` prints them; nullopt with `whyNot` set (the
// settings window's own text) when the window refuses the unit's block.
[[nodiscard]] std::optional<nlohmann::ordered_json> SettingsShowJson(const CGpsUnit& unit,
                                                                     const VendorConfig& vendor,
                                                                     std::string& whyNot);
// JSON as the commands print it: indented by 2, and bytes that are not UTF-8 replaced rather
// than thrown on (texts from a unit are not always UTF-8).
[[nodiscard]] std::string JsonText(const nlohmann::json& json);
[[nodiscard]] std::string JsonText(const nlohmann::ordered_json& json);

}  // namespace kivrel::cli
