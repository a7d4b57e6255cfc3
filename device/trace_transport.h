#pragma once
// Records every report exchanged with the unit: one line per report, in order, ">" for
// tool-to-unit or "<" for unit-to-tool, a space, then the 65 bytes as 130 lowercase hex digits.
// Reports dropped unread as stale before a command (DiscardInput) are not recorded.

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "device/hid_transport.h"

namespace kivrel {

// Takes trace lines somewhere other than a file (the command line keeps an update's last
// lines for a support report).
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void Line(std::string_view line) = 0;  // without its newline
};

class TracingTransport final : public HidTransport {
public:
    // Appends to `path`; `error` is set (and Valid() false) when it cannot be opened.
    TracingTransport(std::unique_ptr<HidTransport> inner, const std::filesystem::path& path,
                     std::string& error);
    // Hands every line to `sink`, which must outlive the transport.
    TracingTransport(std::unique_ptr<HidTransport> inner, TraceSink& sink);
    [[nodiscard]] bool Valid() const noexcept { return sink != nullptr || file.is_open(); }

    [[nodiscard]] bool WriteReport(ReportView report, std::uint32_t timeoutMs) override;
    [[nodiscard]] bool ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                                  std::uint32_t timeoutMs) override;
    void Close() override;
    std::size_t DiscardInput() override { return inner ? inner->DiscardInput() : 0; }

private:
    void Line(char direction, std::span<const std::uint8_t, kReportBytes> report);

    std::unique_ptr<HidTransport> inner;
    std::ofstream file;
    TraceSink* sink = nullptr;
};

// One trace line without its newline, for tests and tools that read traces back.
[[nodiscard]] std::string TraceLine(char direction,
                                    std::span<const std::uint8_t, kReportBytes> report);

}  // namespace kivrel
