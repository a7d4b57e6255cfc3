#pragma once
// One report each way between the tool and the unit. Every report is 65 bytes: byte 0 is the
// report id (always 0 on output), bytes 1-64 the payload. Implementations: the Win32 CHidIO
// adapter, hidapi, the simulated unit and the tracing decorator.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kivrel {

inline constexpr std::size_t kReportBytes = 65;
inline constexpr std::size_t kReportDataBytes = 64;
using Report = std::array<std::uint8_t, kReportBytes>;
using ReportView = std::span<const std::uint8_t, kReportBytes>;

// Not thread-safe: one exchange with the unit runs at a time.
class HidTransport {
public:
    virtual ~HidTransport() = default;
    // Writes one output report; false when it could not be written within `timeoutMs`.
    [[nodiscard]] virtual bool WriteReport(ReportView report, std::uint32_t timeoutMs) = 0;
    // Reads the next input report into `report`. `count` receives the bytes that arrived,
    // report id included (65 for a whole report); the bytes after them are zero. False when
    // no report arrived within `timeoutMs` or the link failed.
    [[nodiscard]] virtual bool ReadReport(std::span<std::uint8_t, kReportBytes> report,
                                          std::size_t& count, std::uint32_t timeoutMs) = 0;
    // Releases the link; later transfers fail. Safe to call more than once.
    virtual void Close() = 0;
    // Drops the input reports already waiting (late answers to earlier exchanges) without
    // waiting for more; returns how many were dropped, when known. The default reads with no
    // wait, at most kMaxDiscardedReports of them.
    virtual std::size_t DiscardInput();
};

// More than a late block read leaves behind; a unit that keeps sending is not drained for ever.
inline constexpr std::size_t kMaxDiscardedReports = 64;

inline std::size_t HidTransport::DiscardInput() {
    std::array<std::uint8_t, kReportBytes> scratch{};
    std::size_t count = 0;
    std::size_t dropped = 0;
    while (dropped < kMaxDiscardedReports && ReadReport(scratch, count, 0)) ++dropped;
    return dropped;
}

}  // namespace kivrel
