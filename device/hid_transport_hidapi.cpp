// The unit through hidapi (hidraw on Linux, IOKit on macOS).

#include <hidapi/hidapi.h>

#include <algorithm>
#include <climits>

#include "base/text.h"
#include "device/hidraw_access.h"
#include "device/unit_discovery.h"
#include "device/unit_ids.h"

namespace kivrel {
namespace {

class HidapiTransport final : public HidTransport {
public:
    explicit HidapiTransport(hid_device* device) noexcept : device(device) {}
    ~HidapiTransport() override { Close(); }
    HidapiTransport(const HidapiTransport&) = delete;
    HidapiTransport& operator=(const HidapiTransport&) = delete;

    bool WriteReport(ReportView report, std::uint32_t /*timeoutMs*/) override {
        // No wait to pass on: the kernel bounds an output report with its own USB timeout.
        return device != nullptr &&
               hid_write(device, report.data(), report.size()) == static_cast<int>(report.size());
    }

    bool ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                    std::uint32_t timeoutMs) override {
        std::fill(report.begin(), report.end(), 0);
        count = 0;
        if (device == nullptr) return false;
        // The unit uses no report ids, so hidapi hands over the 64 payload bytes alone.
        const int wait = static_cast<int>(std::min<std::uint32_t>(timeoutMs, INT_MAX));
        const int n = hid_read_timeout(device, report.data() + 1, kReportDataBytes, wait);
        if (n <= 0) return false;
        count = static_cast<std::size_t>(n) + 1;
        return true;
    }

    void Close() override {
        if (device != nullptr) hid_close(device);
        device = nullptr;
    }

private:
    hid_device* device;
};

}  // namespace

std::unique_ptr<HidTransport> OpenFirstUnit(std::string& error) {
    if (hid_init() != 0) {
        error = "the HID library could not start";
        return nullptr;
    }
    hid_device_info* const found = hid_enumerate(kUnitVendorId, kUnitProductId);
    std::unique_ptr<HidTransport> opened;
    std::string refused;
    for (const hid_device_info* info = found; info != nullptr && !opened; info = info->next) {
        if (hid_device* device = hid_open_path(info->path); device != nullptr) {
            opened = std::make_unique<HidapiTransport>(device);
        } else if (refused.empty()) {
            refused = info->path;
        }
    }
    hid_free_enumeration(found);
    if (!opened) {
        // A unit whose node refuses us is a missing udev rule, not a missing unit.
        error = UnitAccessProblem();
        if (!error.empty()) return nullptr;
        error = refused.empty()
                    ? std::string(kNoUnitText).substr(3)
                    : "the unit at " + refused +
                          " cannot be opened; is there a udev rule giving you access to it?";
    }
    return opened;
}

}  // namespace kivrel
