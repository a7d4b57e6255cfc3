#pragma once
// What `kivrel update --dry-run` prints: the unit, the file, the provinces, the plan and what
// follows it, as text or as one JSON object.

#include <array>
#include <cstdint>

#include "cli/cli_options.h"
#include "package/province_names.h"

namespace kivrel {
class CGpsUnit;
struct UpdateRunOutcome;
}  // namespace kivrel

namespace kivrel::cli {

// The province choice as the run met it.
struct ProvinceAnswer {
    bool asked = false;  // the file has a province table
    bool given = false;  // --provinces named some
    const std::array<std::int32_t, kProvinceCount>& flags;
};

// `outcome` carries the plan.
void PrintDryRun(const GlobalOptions& options, const CGpsUnit& unit,
                 const UpdateRunOutcome& outcome, const ProvinceAnswer& answer);

}  // namespace kivrel::cli
