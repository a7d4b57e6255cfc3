#include "cli/device_open.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/cli_vendor.h"
#include "device/gps_unit.h"
#include "device/trace_transport.h"
#include "device/unit_spec.h"
#include "device/vendor_acceptance.h"
#include "package/vendor_config.h"

namespace kivrel::cli {

bool IsDeviceOption(std::string_view device) noexcept {
    return IsUnitSpec(device);
}

std::string OpenUnitForCli(const GlobalOptions& options, CGpsUnit& unit, EventSink* sink,
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

std::string ReadOpenedUnit(CGpsUnit& unit) {
    // As the window does: every unit is read through the vendor check.
    if (!unit.acceptanceHook) unit.acceptanceHook = VendorAcceptanceHook(CliVendorConfig());
    unit.ResetUnitInfo();
    bool silent = false;
    const bool accepted = unit.ReadUnitInfoBounded(silent);
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

std::string ReadOpenedUnitUnchanged(CGpsUnit& unit, bool& refused) {
    refused = false;
    unit.acceptanceHook = [&refused,
                           check = VendorAcceptanceHook(CliVendorConfig())](CGpsUnit& read) {
        if (check(read) == 0) refused = true;
        return 1;
    };
    std::string error = ReadOpenedUnit(unit);
    unit.acceptanceHook = nullptr;
    return error;
}

std::string OpenAndReadUnit(const GlobalOptions& options, CGpsUnit& unit, EventSink* sink) {
    if (std::string error = OpenUnitForCli(options, unit, sink); !error.empty()) return error;
    return ReadOpenedUnit(unit);
}

int OpenAndReadUnitForCommand(const GlobalOptions& options, CGpsUnit& unit) {
    if (!IsDeviceOption(options.device)) {
        std::cerr << "kivrel: --device must be hid or sim:DIR\n";
        return kExitUsage;
    }
    if (std::string error = OpenAndReadUnit(options, unit, nullptr); !error.empty()) {
        std::cerr << "kivrel: " << error << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace kivrel::cli
