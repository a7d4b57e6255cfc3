#include "device/unit_spec.h"

#include "device/sim/sim_directory.h"
#include "device/trace_transport.h"
#include "device/unit_discovery.h"

namespace kivrel {
namespace {

std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

bool IsUnitSpec(std::string_view spec) noexcept {
    return spec == kUnitSpecHid ||
           (spec.starts_with(kUnitSpecSimPrefix) && spec.size() > kUnitSpecSimPrefix.size());
}

std::unique_ptr<HidTransport> OpenUnitSpec(std::string_view spec, std::string_view traceFile,
                                           std::string& error) {
    if (!IsUnitSpec(spec)) {
        error = "unknown device \"" + std::string(spec) + "\": use hid or sim:DIR";
        return nullptr;
    }
    std::unique_ptr<HidTransport> transport;
    if (spec == kUnitSpecHid) {
        transport = OpenFirstUnit(error);
    } else {
        transport = OpenSimDirectory(Utf8Path(spec.substr(kUnitSpecSimPrefix.size())), error);
    }
    if (!transport || traceFile.empty()) return transport;
    auto traced =
        std::make_unique<TracingTransport>(std::move(transport), Utf8Path(traceFile), error);
    if (!traced->Valid()) return nullptr;
    return traced;
}

}  // namespace kivrel
