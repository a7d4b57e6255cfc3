#pragma once
// An update's plan as the command line shows it: a table of every write and erase, or JSON,
// and, for a package that does not fit, the sentence that says why and what to do.

#include <cstdint>
#include <cstdio>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "device/update_plan.h"

namespace kivrel::cli {

// The plan as JSON: result, misfit or fault, layout action and record, model entry, identity
// write, steps (what, command, address, bank, bytes, blocks, sectors, word_c, data_sum_hex,
// counted), total_bytes and transfer_total.
[[nodiscard]] nlohmann::ordered_json PlanJson(const UpdatePlan& plan);
// The plan as lines of text: what becomes of the layout, the identity write, then one line per
// step and the total.
void PrintPlan(std::FILE* out, const UpdatePlan& plan);

// Why a plan that does not fit does not, and what to do, as one paragraph; empty for a plan
// that fits.
[[nodiscard]] std::string PlanCause(const UpdatePlan& plan);

// "5.4 MB", "12.3 KB", "512 bytes": decimal units, as disks and files are sold.
[[nodiscard]] std::string FormatSize(std::uint64_t bytes);

}  // namespace kivrel::cli
