#include "cli/dry_run_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/cli_text.h"
#include "cli/plan_text.h"
#include "cli/unit_json.h"
#include "device/gps_unit.h"
#include "package/vendor_config.h"
#include "procedures/update_run.h"

namespace kivrel::cli {
namespace {

nlohmann::ordered_json ProvincesJson(const ProvinceAnswer& answer) {
    if (!answer.asked) return "no province table";
    if (!answer.given) return "national";
    nlohmann::ordered_json chosen = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < kProvinceCount; ++i) {
        if (answer.flags[i] != 0)
            chosen.push_back({{"index", i}, {"name", kProvinceNames[i].utf8}});
    }
    return chosen;
}

}  // namespace

void PrintDryRun(const GlobalOptions& options, const CGpsUnit& unit,
                 const UpdateRunOutcome& outcome, const ProvinceAnswer& answer) {
    const UpdatePlan& plan = *outcome.plan;
    const bool settingsErase = !KeepsSettingsAfterUpdate(options.Vendor());
    if (options.json) {
        nlohmann::ordered_json json;
        json["dry_run"] = true;
        json["unit"] = UnitInfoJson(unit);
        if (outcome.file) {
            json["file"] = {{"name", WideToUtf8(outcome.file->name)},
                            {"size", outcome.file->size},
                            {"byte_sum_hex", Hex32(outcome.file->byteSum)}};
        }
        json["provinces"] = ProvincesJson(answer);
        json["plan"] = PlanJson(plan);
        json["settings_sector_erase"] =
            settingsErase
                ? nlohmann::ordered_json{{"first_sector", kSettingsAddress / kSectorBytes},
                                         {"sectors", 1}}
                : nlohmann::ordered_json(nullptr);
        json["finish_update"] = true;
        std::printf("%s\n", JsonText(json).c_str());
        return;
    }
    std::printf("Dry run: the unit was read, and nothing that changes it was sent.\n");
    std::printf("Unit:      boot version %d, capacity %u bytes, model %s, layout record: %s\n",
                unit.bootVersion, static_cast<unsigned>(unit.capacity), Hex32(unit.modelId).c_str(),
                unit.HasLayoutRecord() ? "yes" : "no");
    if (outcome.file) {
        std::printf("File:      %s, %llu bytes, byte sum %s\n",
                    WideToUtf8(outcome.file->name).c_str(),
                    static_cast<unsigned long long>(outcome.file->size),
                    Hex32(outcome.file->byteSum).c_str());
    }
    const nlohmann::ordered_json provinces = ProvincesJson(answer);
    std::string provinceText = provinces.is_string() ? provinces.get<std::string>() : "";
    for (const auto& chosen : provinces.is_array() ? provinces : nlohmann::ordered_json::array()) {
        provinceText += (provinceText.empty() ? "" : ", ") +
                        std::to_string(chosen["index"].get<std::size_t>()) + " " +
                        chosen["name"].get<std::string>();
    }
    std::printf("Provinces: %s\n", provinceText.c_str());
    if (plan.modelEntry >= 0) {
        std::printf("Model:     entry %d of the file's model table (%s)\n", plan.modelEntry,
                    Hex32(plan.modelEntryId).c_str());
    } else {
        std::printf("Model:     no entry of the file's model table\n");
    }
    std::fflush(stdout);
    PrintPlan(stdout, plan);
    std::printf("Then the unit is read again, %sand FinishUpdate is sent.\n",
                settingsErase ? "its settings sector (17, at 0x011000) is erased, " : "");
}

}  // namespace kivrel::cli
