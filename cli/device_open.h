#pragma once
// The global options' unit: `--device hid` (the first unit 0416:B500 found by this platform's
// discovery) or `--device sim:DIR` (the simulated unit kept in DIR), traced with `--trace FILE`,
// each report's wait bounded by `--timeout-ms`. Opening and reading are the procedures the
// window runs too (procedures/unit_reading.h).

#include <string_view>

#include "cli/cli_options.h"
#include "procedures/unit_reading.h"

namespace kivrel {
class CGpsUnit;
}  // namespace kivrel

namespace kivrel::cli {

// "hid", or "sim:" followed by a directory.
[[nodiscard]] bool IsDeviceOption(std::string_view device) noexcept;

[[nodiscard]] UnitLinkOptions LinkOptionsOf(const GlobalOptions& options);

// Opens the unit and reads it (ReadingMode::kUse) through the build's vendor check. Returns an
// error text, empty on success.
[[nodiscard]] std::string OpenAndReadUnit(const GlobalOptions& options, CGpsUnit& unit,
                                          EventSink* sink);

// OpenAndReadUnit for a command: says on stderr why the unit cannot be used. Returns kExitOk,
// kExitUsage for a --device that names no unit, or kExitFailure.
[[nodiscard]] int OpenAndReadUnitForCommand(const GlobalOptions& options, CGpsUnit& unit);

}  // namespace kivrel::cli
