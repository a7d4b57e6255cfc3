#include "cli/device_open.h"

#include <iostream>

#include "device/gps_unit.h"

namespace kivrel::cli {

bool IsDeviceOption(std::string_view device) noexcept {
    return IsUnitSpec(device);
}

UnitLinkOptions LinkOptionsOf(const GlobalOptions& options) {
    return {options.device, options.traceFile, options.timeoutMs};
}

std::string OpenAndReadUnit(const GlobalOptions& options, CGpsUnit& unit, EventSink* sink) {
    if (std::string error = OpenUnit(unit, LinkOptionsOf(options), sink); !error.empty()) {
        return error;
    }
    return ReadingFailureText(ReadUnit(unit, options.Vendor()));
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
