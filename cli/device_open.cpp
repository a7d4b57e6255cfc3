#include "cli/device_open.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "cli/cli_vendor.h"
#include "device/gps_unit.h"
#include "device/sim/sim_directory.h"
#include "device/trace_transport.h"
#include "device/unit_discovery.h"
#include "device/vendor_acceptance.h"
#include "package/vendor_config.h"

namespace kivrel::cli {
namespace {

constexpr std::string_view kSimPrefix = "sim:";
// A unit answers a query within milliseconds; a reading of a silent unit waits this long for
// each of its eight steps.
constexpr std::uint32_t kFirstAnswerTimeoutMs = 1000;

std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

bool IsDeviceOption(std::string_view device) noexcept {
    return device == "hid" || (device.starts_with(kSimPrefix) && device.size() > kSimPrefix.size());
}

std::string OpenUnitForCli(const GlobalOptions& options, CGpsUnit& unit, EventSink* sink,
                           TraceSink* keptTrace) {
    if (!IsDeviceOption(options.device)) {
        return "unknown device \"" + options.device + "\": use hid or sim:DIR";
    }
    std::string error;
    std::unique_ptr<HidTransport> transport;
    if (options.device == "hid") {
        transport = OpenFirstUnit(error);
    } else {
        transport = OpenSimDirectory(Utf8Path(std::string_view(options.device).substr(4)), error);
    }
    if (!transport) return error;
    if (keptTrace != nullptr) {
        transport = std::make_unique<TracingTransport>(std::move(transport), *keptTrace);
    }
    if (!options.traceFile.empty()) {
        auto traced = std::make_unique<TracingTransport>(std::move(transport),
                                                         Utf8Path(options.traceFile), error);
        if (!traced->Valid()) return error;
        transport = std::move(traced);
    }
    unit.link.SetTimeoutMs(options.timeoutMs);
    unit.link.Attach(std::move(transport), sink);
    return {};
}

std::string ReadOpenedUnit(const GlobalOptions& options, CGpsUnit& unit) {
    // As the window does: every unit is read through the vendor check.
    if (!unit.acceptanceHook) unit.acceptanceHook = VendorAcceptanceHook(CliVendorConfig());
    unit.link.BoundWaitsUntilAnswered(std::min(options.timeoutMs, kFirstAnswerTimeoutMs));
    unit.ResetUnitInfo();
    const bool accepted = unit.ReadUnitInfo();
    const bool silent = unit.link.Unanswered();
    unit.link.BoundWaitsUntilAnswered(0);
    if (silent) {
        unit.link.CloseHandles();
        return "the unit does not answer";
    }
    if (!accepted) return std::string(kTextUnitRefused);
    if (!unit.ReadingFault().empty()) {
        return "the unit could not be read (" + std::string(unit.ReadingFault()) +
               "); nothing was changed. Check its connection, replug it and try again";
    }
    return {};
}

std::string ReadOpenedUnitUnchanged(const GlobalOptions& options, CGpsUnit& unit,
                                    bool& refused) {
    refused = false;
    unit.acceptanceHook = [&refused, check = VendorAcceptanceHook(CliVendorConfig())](
                              CGpsUnit& read) {
        if (check(read) == 0) refused = true;
        return 1;
    };
    std::string error = ReadOpenedUnit(options, unit);
    unit.acceptanceHook = nullptr;
    return error;
}

std::string OpenAndReadUnit(const GlobalOptions& options, CGpsUnit& unit, EventSink* sink) {
    if (std::string error = OpenUnitForCli(options, unit, sink); !error.empty()) return error;
    return ReadOpenedUnit(options, unit);
}

}  // namespace kivrel::cli
