#pragma once
// Turns the global options into an opened link for a unit object: `--device hid` (the first
// unit 0416:B500 found by this platform's discovery) or `--device sim:DIR` (the simulated unit
// kept in DIR), wrapped in the trace decorator when `--trace FILE` is given, with the report
// wait of `--timeout-ms`.

#include <string>
#include <string_view>

#include "cli/cli_options.h"

namespace kivrel {
class CGpsUnit;
class EventSink;
class TraceSink;
}  // namespace kivrel

namespace kivrel::cli {

// "hid", or "sim:" followed by a directory.
[[nodiscard]] bool IsDeviceOption(std::string_view device) noexcept;

// Opens the unit and attaches it to `unit.link` with `sink` (may be null) for progress. Does
// not read the unit. Returns an error text, empty on success. The link (and with it a sim
// directory's files and the trace) closes when the unit object closes its handles or dies;
// a sim directory holds every accepted write on disk as soon as the unit answers it.
// `keptTrace` (may be null, must outlive the link) gets every report's trace line as well.
[[nodiscard]] std::string OpenUnitForCli(const GlobalOptions& options, CGpsUnit& unit,
                                         EventSink* sink, TraceSink* keptTrace = nullptr);

// The reading the window does on every connect, on an opened unit: ResetUnitInfo and
// ReadUnitInfo, through the build's vendor check unless `unit.acceptanceHook` is already set.
// Until the unit first answers, each wait is short: a silent unit is known in seconds, not
// after every step's full bound. Returns an error text, empty on success: a silent unit (the
// link is then closed), a refused one (closed too), or a reading that did not come whole.
[[nodiscard]] std::string ReadOpenedUnit(CGpsUnit& unit);

// As ReadOpenedUnit, but a unit the vendor check refuses is neither sent AbandonUnit nor
// closed, so that looking at a unit (a dry run, a support report) changes nothing in it;
// `refused` tells whether the check refused it. The error text is then empty.
[[nodiscard]] std::string ReadOpenedUnitUnchanged(CGpsUnit& unit, bool& refused);

// The text for a unit the vendor check refused.
inline constexpr std::string_view kTextUnitRefused =
    "the unit does not belong to this tool's vendor";

// OpenUnitForCli, then ReadOpenedUnit.
[[nodiscard]] std::string OpenAndReadUnit(const GlobalOptions& options, CGpsUnit& unit,
                                          EventSink* sink);

// OpenAndReadUnit for a command: says on stderr why the unit cannot be used. Returns kExitOk,
// kExitUsage for a --device that names no unit, or kExitFailure.
[[nodiscard]] int OpenAndReadUnitForCommand(const GlobalOptions& options, CGpsUnit& unit);

}  // namespace kivrel::cli
