// Replies come from the unit and are untrusted: parsing must never read past the report, and
// whatever is accepted must write back to the same frame.

#include <array>
#include <cstdint>

#include "device/command_frame.h"

using namespace kivrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    CommandFrame command;
    if (ParseCommandReport(input, command) && (size != kReportBytes || data[0] != 0)) {
        __builtin_trap();
    }
    CommandFrame frame;
    if (!ParseReplyFrame(input, frame)) {
        if (frame != CommandFrame{}) __builtin_trap();  // a refused reply leaves nothing behind
        return 0;
    }
    if (frame.length != kFrameLength || frame.signature != kFrameSignature ||
        frame.frameSum != FrameSumOf(frame)) {
        __builtin_trap();
    }
    Report report{};
    WriteFrame(frame, report);
    CommandFrame again;
    if (!ParseReplyFrame(report, again) || again != frame) __builtin_trap();
    if (!ParseCommandReport(report, again) || again != frame) __builtin_trap();
    return 0;
}
