// Puts a CHidIO behind HidTransport, and discovery on Windows.

#include <memory>

#include "device/chid_io_win32.h"
#include "device/unit_discovery.h"

namespace kivrel {
namespace {

class HidIoTransport final : public HidTransport {
public:
    [[nodiscard]] bool Open() { return io.OpenUnit(); }

    bool WriteReport(ReportView report, std::uint32_t timeoutMs) override {
        return io.WriteReport(report.data(), nullptr, timeoutMs);
    }
    bool ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                    std::uint32_t timeoutMs) override {
        std::fill(report.begin(), report.end(), 0);
        DWORD moved = 0;
        const bool ok = io.ReadReport(report.data(), &moved, timeoutMs);
        count = ok ? moved : 0;
        return ok;
    }
    void Close() override { io.CloseHandles(); }
    // The HID driver queues input reports while no read is pending; reading them one by one
    // would cost the 100 ms minimum wait each time the queue is empty.
    std::size_t DiscardInput() override {
        (void)io.FlushInput();
        return 0;
    }

private:
    CHidIO io;
};

}  // namespace

std::unique_ptr<HidTransport> OpenFirstUnit(std::string& error) {
    auto transport = std::make_unique<HidIoTransport>();
    if (!transport->Open()) {
        error = std::string(kNoUnitText).substr(3);
        return nullptr;
    }
    return transport;
}

}  // namespace kivrel
