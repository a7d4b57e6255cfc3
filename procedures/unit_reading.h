#pragma once
// Opening and reading a unit, as both programs do on every connect: the unit that the device
// option names, read through the vendor check, every wait cut short until the unit first
// answers, and what to tell the user when the reading did not come whole.

#include <cstdint>
#include <string>
#include <string_view>

#include "device/chid_cmd.h"
#include "device/unit_spec.h"

namespace kivrel {

class CGpsUnit;
class EventSink;
class TraceSink;
struct VendorConfig;

// Which unit, and how to talk to it.
struct UnitLinkOptions {
    std::string device{kUnitSpecHid};             // "hid" or "sim:DIR"
    std::string traceFile;                        // empty: no trace
    std::uint32_t timeoutMs = kDefaultTimeoutMs;  // bound on one report's wait
};

// Opens the unit and attaches it to `unit.link` with `sink` (may be null) for progress; does
// not read it. `keptTrace` (may be null, must outlive the link) gets every report's trace line
// as well. Returns an error text, empty on success. The link (and with it a sim directory's
// files and the trace) closes when the unit object closes its handles or dies.
[[nodiscard]] std::string OpenUnit(CGpsUnit& unit, const UnitLinkOptions& options, EventSink* sink,
                                   TraceSink* keptTrace = nullptr);

enum class ReadingResult {
    kRead,        // every step came whole and the vendor check took the unit
    kSilent,      // the unit never answered: the link is closed
    kRefused,     // the vendor check refused the unit (see ReadingMode)
    kIncomplete,  // a step did not come whole (UnitReading::fault): the link is closed
                  // unless only looking
};

enum class ReadingMode {
    // A refused unit is sent AbandonUnit and closed, as before any update.
    kUse,
    // Only looking (a dry run, a support report): a refused unit is neither sent AbandonUnit
    // nor closed, and the reading goes on as for an accepted one.
    kLookOnly,
};

struct UnitReading {
    ReadingResult result = ReadingResult::kIncomplete;
    std::string_view fault;  // what did not come (kSilent and kIncomplete), else empty
};

// The unit does not answer at all.
inline constexpr std::string_view kReadingSilent = "the unit does not answer";
// The command line's text for a unit the vendor check refused.
inline constexpr std::string_view kTextUnitRefused =
    "the unit does not belong to this tool's vendor";

// ResetUnitInfo and ReadUnitInfo on an opened unit, through the vendor check of `vendor`
// unless `unit.acceptanceHook` is already set. Until the unit first answers, each wait is
// short: a silent unit is known in seconds, not after every step's whole bound. Nothing read
// from a reading that is not kRead may be used to write.
[[nodiscard]] UnitReading ReadUnit(CGpsUnit& unit, const VendorConfig& vendor,
                                   ReadingMode mode = ReadingMode::kUse);

// Why the unit cannot be used, for the command line (one sentence, no full stop); empty for
// kRead.
[[nodiscard]] std::string ReadingFailureText(const UnitReading& reading);
// The same for the window's progress bar, which also says how to get a fresh reading; empty
// for kRead and kRefused (a refused unit is simply not connected).
[[nodiscard]] std::wstring ReadingFailureBarText(const UnitReading& reading);

}  // namespace kivrel
