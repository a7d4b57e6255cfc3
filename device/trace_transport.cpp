#include "device/trace_transport.h"

#include "base/ascii_text.h"

namespace kivrel {

std::string TraceLine(char direction, std::span<const std::uint8_t, kReportBytes> report) {
    std::string line(2 + 2 * kReportBytes, ' ');
    line[0] = direction;
    for (std::size_t i = 0; i < kReportBytes; ++i) {
        line[2 + 2 * i] = HexDigit(report[i] >> 4);
        line[3 + 2 * i] = HexDigit(report[i]);
    }
    return line;
}

TracingTransport::TracingTransport(std::unique_ptr<HidTransport> inner,
                                   const std::filesystem::path& path, std::string& error)
    : inner(std::move(inner)), file(path, std::ios::out | std::ios::app | std::ios::binary) {
    if (!file.is_open()) error = "cannot open the trace file " + path.string();
}

TracingTransport::TracingTransport(std::unique_ptr<HidTransport> inner, TraceSink& sink)
    : inner(std::move(inner)), sink(&sink) {}

void TracingTransport::Line(char direction, std::span<const std::uint8_t, kReportBytes> report) {
    if (sink != nullptr) {
        sink->Line(TraceLine(direction, report));
        return;
    }
    if (!file.is_open()) return;
    // Flushed line by line: a trace is read most when a run ended badly.
    file << TraceLine(direction, report) << '\n' << std::flush;
}

bool TracingTransport::WriteReport(ReportView report, std::uint32_t timeoutMs) {
    if (!inner || !inner->WriteReport(report, timeoutMs)) return false;
    Line('>', report);
    return true;
}

bool TracingTransport::ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                                  std::uint32_t timeoutMs) {
    count = 0;
    if (!inner || !inner->ReadReport(report, count, timeoutMs)) return false;
    Line('<', report);
    return true;
}

void TracingTransport::Close() {
    if (inner) inner->Close();
    if (file.is_open()) file.close();
}

}  // namespace kivrel
