#include "procedures/unit_reading.h"

#include <memory>
#include <utility>

#include "base/text.h"
#include "device/gps_unit.h"
#include "device/trace_transport.h"
#include "device/vendor_acceptance.h"

namespace kivrel {

std::string OpenUnit(CGpsUnit& unit, const UnitLinkOptions& options, EventSink* sink,
                     TraceSink* keptTrace) {
    std::string error;
    std::unique_ptr<HidTransport> transport =
        OpenUnitSpec(options.device, options.traceFile, error);
    if (!transport) return error;
    if (keptTrace != nullptr) {
        transport = std::make_unique<TracingTransport>(std::move(transport), *keptTrace);
    }
    unit.link.SetTimeoutMs(options.timeoutMs);
    unit.link.Attach(std::move(transport), sink);
    return {};
}

UnitReading ReadUnit(CGpsUnit& unit, const VendorConfig& vendor, ReadingMode mode) {
    // Every unit is read through the vendor check. Only looking, its verdict is noted and the
    // unit kept as it is; the owner's own hook comes back afterwards.
    if (!unit.acceptanceHook) unit.acceptanceHook = VendorAcceptanceHook(vendor);
    bool refused = false;
    CGpsUnit::AcceptanceHook ownHook;
    if (mode == ReadingMode::kLookOnly) {
        ownHook = std::exchange(unit.acceptanceHook, [&refused, &ownHook](CGpsUnit& read) {
            if (ownHook(read) == 0) refused = true;
            return 1;
        });
    }
    unit.ResetUnitInfo();
    bool silent = false;
    const bool accepted = unit.ReadUnitInfoBounded(silent);
    if (mode == ReadingMode::kLookOnly) unit.acceptanceHook = std::move(ownHook);

    if (silent) {
        if (unit.Connected()) unit.link.CloseHandles();
        return {ReadingResult::kSilent, kReadingSilent};
    }
    if (!accepted) return {ReadingResult::kRefused, {}};  // sent AbandonUnit and closed
    if (const std::string_view fault = unit.ReadingFault(); !fault.empty()) {
        // A unit that does not answer whole is no unit to work with: nothing read from it could
        // be trusted, and a replug reads it afresh. Only looking, what did come is still shown.
        if (mode == ReadingMode::kUse) unit.link.CloseHandles();
        return {ReadingResult::kIncomplete, fault};
    }
    if (refused) return {ReadingResult::kRefused, {}};  // only looking: still open
    return {ReadingResult::kRead, {}};
}

std::string ReadingFailureText(const UnitReading& reading) {
    switch (reading.result) {
        case ReadingResult::kRead:
            return {};
        case ReadingResult::kSilent:
            return std::string(kReadingSilent);
        case ReadingResult::kRefused:
            return std::string(kTextUnitRefused);
        case ReadingResult::kIncomplete:
            break;
    }
    return "the unit could not be read (" + std::string(reading.fault) +
           "); nothing was changed. Check its connection, replug it and try again";
}

std::wstring ReadingFailureBarText(const UnitReading& reading) {
    if (reading.result == ReadingResult::kRead || reading.result == ReadingResult::kRefused) {
        return {};
    }
    return L"The unit could not be read (" + Utf8ToWide(reading.fault) +
           L"). Unplug it, plug it in again and wait for \"GPS Connected\".";
}

}  // namespace kivrel
