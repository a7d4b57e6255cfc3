#include "cli/plan_text.h"

#include <nlohmann/json.hpp>

#include "cli/cli_text.h"
#include "device/gps_unit.h"

namespace kivrel::cli {
namespace {

constexpr const char* kUseTheRightFile = " Use the update file made for this model.";

std::string HexAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06x", static_cast<unsigned>(address));
    return text;
}

std::string_view LayoutKey(LayoutAction action) {
    switch (action) {
        case LayoutAction::kFixed:
            return "fixed";
        case LayoutAction::kKeep:
            return "keep";
        case LayoutAction::kBackToFixed:
            return "back_to_fixed";
        case LayoutAction::kStore:
            return "store";
    }
    return "fixed";
}

std::string_view ResultKey(WriteResult result) {
    if (result == WriteResult::kWritten) return "fits";
    return result == WriteResult::kDoesNotFit ? "does_not_fit" : "failed";
}

struct RecordRegion {
    PlanPart part;
    std::size_t start;
    std::size_t size;
};
constexpr RecordRegion kRecordRegions[] = {
    {PlanPart::kMain, LayoutRecord::kMainStart, LayoutRecord::kMainSize},
    {PlanPart::kResource, LayoutRecord::kResourceStart, LayoutRecord::kResourceSize},
    {PlanPart::kDatabase, LayoutRecord::kDatabaseStart, LayoutRecord::kDatabaseSize},
    {PlanPart::kAuxiliary, LayoutRecord::kAuxiliaryStart, LayoutRecord::kAuxiliarySize},
    {PlanPart::kModelImage, LayoutRecord::kModelImageAddress, LayoutRecord::kModelImageSize},
};

nlohmann::ordered_json RecordJson(const LayoutRecord& record) {
    nlohmann::ordered_json json;
    json["model_id_hex"] = Hex32(record.Word(LayoutRecord::kModelId));
    json["capacity"] = record.Word(LayoutRecord::kCapacity);
    json["first_layout_word"] = record.Word(LayoutRecord::kFirstLayoutWord);
    for (const RecordRegion& region : kRecordRegions) {
        json[std::string(PlanPartKey(region.part))] = {{"start", record.Word(region.start)},
                                                       {"size", record.Word(region.size)}};
    }
    json["end"] = record.Word(LayoutRecord::kEnd);
    json["alt_main"] = record.bytes[LayoutRecord::kAltMainFlag] != 0;
    return json;
}

std::string RecordText(const LayoutRecord& record) {
    std::string text;
    for (const RecordRegion& region : kRecordRegions) {
        const std::uint32_t size = record.Word(region.size);
        if (size == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::string(PlanPartName(region.part)) + " " +
                HexAddress(record.Word(region.start)) + " (" + std::to_string(size) + " bytes)";
    }
    return text.empty() ? "no regions" : text;
}

std::string LayoutText(const UpdatePlan& plan) {
    switch (plan.layout) {
        case LayoutAction::kFixed:
            return "fixed addresses (the unit has no layout record and gets none)";
        case LayoutAction::kKeep:
            return "the unit's layout record is kept: " + RecordText(plan.record);
        case LayoutAction::kBackToFixed:
            return "the unit's layout record is erased: back to the fixed addresses";
        case LayoutAction::kStore:
            return "a new layout record is stored: " + RecordText(plan.record);
    }
    return {};
}

// Two sizes told apart: when their rounded texts are the same, in bytes.
std::pair<std::string, std::string> TwoSizes(std::uint64_t a, std::uint64_t b) {
    std::string first = FormatSize(a), second = FormatSize(b);
    if (first == second) {
        first = std::to_string(a) + " bytes";
        second = std::to_string(b) + " bytes";
    }
    return {first, second};
}

}  // namespace

std::string FormatSize(std::uint64_t bytes) {
    char text[32];
    if (bytes >= 1000000) {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    } else if (bytes >= 1000) {
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    }
    return text;
}

nlohmann::ordered_json PlanJson(const UpdatePlan& plan) {
    nlohmann::ordered_json json;
    json["result"] = ResultKey(plan.result);
    if (plan.result == WriteResult::kDoesNotFit) {
        json["misfit"] = {{"what", PlanPartKey(plan.misfit.part)},
                          {"needed", plan.misfit.needed},
                          {"room", plan.misfit.room}};
        json["cause"] = PlanCause(plan);
    }
    if (plan.result == WriteResult::kFailed) json["fault"] = plan.fault;
    if (plan.result != WriteResult::kWritten) return json;

    json["layout"] = LayoutKey(plan.layout);
    if (plan.layout == LayoutAction::kKeep || plan.layout == LayoutAction::kStore) {
        json["layout_record"] = RecordJson(plan.record);
    }
    json["model_entry"] = plan.modelEntry;
    if (plan.modelEntry >= 0) json["model_entry_id_hex"] = Hex32(plan.modelEntryId);
    json["identity_write"] = plan.identityPending && plan.addresses.identityAddress != 0;
    nlohmann::ordered_json steps = nlohmann::ordered_json::array();
    for (const PlanStep& step : plan.steps) {
        nlohmann::ordered_json s;
        s["what"] = PlanPartKey(step.part);
        s["command"] = step.erase ? "EraseSectors" : "WriteBlocks";
        s["address"] = step.address;
        s["bank"] = step.bank;
        s["bytes"] = step.length;
        s["blocks"] = step.Blocks();
        s["first_sector"] = step.FirstSector();
        s["sectors"] = step.Sectors();
        s["word_c"] = step.wordC;
        s["data_sum_hex"] = Hex32(step.dataSum);
        s["counted"] = step.counted;
        steps.push_back(std::move(s));
    }
    json["steps"] = std::move(steps);
    json["total_bytes"] = plan.TotalBytes();
    json["transfer_total"] = plan.TransferTotal();
    return json;
}

void PrintPlan(std::FILE* out, const UpdatePlan& plan) {
    std::fprintf(out, "Layout:    %s\n", LayoutText(plan).c_str());
    const bool identity = plan.identityPending && plan.addresses.identityAddress != 0;
    std::fprintf(out, "Identity:  %s\n",
                 identity ? ("the file's identity block is written at " +
                             HexAddress(plan.addresses.identityAddress))
                                .c_str()
                          : "kept as the unit has it");
    std::fprintf(out, "\n  #  %-13s %-30s %-9s %-4s %9s %7s  %s\n", "Command", "What", "Address",
                 "Bank", "Bytes", "Blocks", "Sectors");
    int number = 0;
    std::size_t writes = 0;
    for (const PlanStep& step : plan.steps) {
        const unsigned first = step.FirstSector();
        const unsigned sectors = step.Sectors();
        char sectorText[48];
        if (sectors > 1) {
            std::snprintf(sectorText, sizeof sectorText, "%u-%u (%u)", first, first + sectors - 1,
                          sectors);
        } else if (sectors == 1) {
            std::snprintf(sectorText, sizeof sectorText, "%u (1)", first);
        } else {
            std::snprintf(sectorText, sizeof sectorText, "none (0)");
        }
        writes += step.erase ? 0 : 1;
        std::fprintf(out, "%3d  %-13s %-30s %-9s %-4s %9u %7s  %s\n", ++number,
                     step.erase ? "EraseSectors" : "WriteBlocks",
                     std::string(PlanPartName(step.part)).c_str(), HexAddress(step.address).c_str(),
                     step.erase ? "-" : std::to_string(step.bank).c_str(),
                     static_cast<unsigned>(step.length),
                     step.erase ? "-" : std::to_string(step.Blocks()).c_str(), sectorText);
    }
    std::fprintf(out, "\nTotal: %llu bytes in %zu writes (%s); the progress counts %u of them.\n",
                 static_cast<unsigned long long>(plan.TotalBytes()), writes,
                 FormatSize(plan.TotalBytes()).c_str(),
                 static_cast<unsigned>(plan.TransferTotal()));
}

std::string PlanCause(const UpdatePlan& plan) {
    if (plan.result == WriteResult::kFailed) {
        return "The update cannot be planned: " + std::string(plan.fault) + ".";
    }
    if (plan.result != WriteResult::kDoesNotFit) return {};
    const Misfit& m = plan.misfit;
    const auto [needed, room] = TwoSizes(m.needed, m.room);
    const std::string lead = "The update file does not fit this unit: ";
    switch (m.part) {
        case PlanPart::kLayoutEnd:
            return lead + "laid out, its sections end at " + needed + ", and the unit holds " +
                   room + "." + kUseTheRightFile;
        case PlanPart::kLayoutRecord:
            if (plan.layout == LayoutAction::kStore) {
                return lead + "the layout its model entry asks for does not hold together." +
                       kUseTheRightFile;
            }
            return "The unit's layout record does not hold together (its regions overlap or "
                   "pass the unit's capacity), so nothing is written by it. An update file with "
                   "this model's table lays the unit out anew; or send `kivrel report` to "
                   "support.";
        default:
            break;
    }
    const std::string what = std::string(PlanPartName(m.part));
    if (m.room == 0) {
        return lead + "its " + what + " is " + FormatSize(m.needed) +
               ", and the unit's layout has no region for it." + kUseTheRightFile;
    }
    return lead + "its " + what + " is " + needed + ", the unit's region holds " + room + "." +
           kUseTheRightFile;
}

}  // namespace kivrel::cli
