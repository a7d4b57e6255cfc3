#include "device/command_frame.h"

#include <algorithm>

#include "base/byte_sum.h"
#include "base/le_bytes.h"

namespace kivrel {
namespace {

constexpr std::size_t kSummedBytes = 23;

CommandFrame DecodeFrame(const std::array<std::uint8_t, kFrameBytes>& b) noexcept {
    CommandFrame f;
    f.code = b[0];
    f.length = b[1];
    f.wordA = GetU32(&b[2]);
    f.wordB = GetU32(&b[6]);
    f.wordC = GetU32(&b[10]);
    f.bank = b[14];
    f.dataSum = GetU32(&b[15]);
    f.signature = GetU32(&b[19]);
    f.frameSum = GetU32(&b[23]);
    return f;
}

bool WellFormed(const std::array<std::uint8_t, kFrameBytes>& b) noexcept {
    return b[1] == kFrameLength && GetU32(&b[19]) == kFrameSignature &&
           GetU32(&b[23]) == ByteSum(std::span(b).first(kSummedBytes));
}

}  // namespace

CommandFrame MakeCommandFrame(CommandCode code, std::uint32_t wordA, std::uint32_t wordB,
                              std::uint32_t wordC, std::uint8_t bank,
                              std::uint32_t dataSum) noexcept {
    CommandFrame frame{static_cast<std::uint8_t>(code),
                       kFrameLength,
                       wordA,
                       wordB,
                       wordC,
                       bank,
                       dataSum,
                       kFrameSignature,
                       0};
    frame.frameSum = FrameSumOf(frame);
    return frame;
}

std::array<std::uint8_t, kFrameBytes> EncodeFrame(const CommandFrame& frame) noexcept {
    std::array<std::uint8_t, kFrameBytes> b{};
    b[0] = frame.code;
    b[1] = frame.length;
    PutU32(&b[2], frame.wordA);
    PutU32(&b[6], frame.wordB);
    PutU32(&b[10], frame.wordC);
    b[14] = frame.bank;
    PutU32(&b[15], frame.dataSum);
    PutU32(&b[19], frame.signature);
    PutU32(&b[23], frame.frameSum);
    return b;
}

std::uint32_t FrameSumOf(const CommandFrame& frame) noexcept {
    const auto bytes = EncodeFrame(frame);
    return ByteSum(std::span(bytes).first(kSummedBytes));
}

void WriteFrame(const CommandFrame& frame, std::span<std::uint8_t, kReportBytes> report) noexcept {
    std::fill(report.begin(), report.end(), kReportFiller);
    report[0] = 0x00;
    const auto bytes = EncodeFrame(frame);
    std::copy(bytes.begin(), bytes.end(), report.begin() + 1);
}

bool ParseReplyFrame(std::span<const std::uint8_t> report, CommandFrame& frame) noexcept {
    frame = CommandFrame{};
    std::array<std::uint8_t, kFrameBytes> bytes{};
    if (report.size() > 1) {
        const std::size_t arrived = std::min(report.size() - 1, kFrameBytes);
        std::copy_n(report.begin() + 1, arrived, bytes.begin());
    }
    if (!WellFormed(bytes)) return false;
    frame = DecodeFrame(bytes);
    return true;
}

bool ParseCommandReport(std::span<const std::uint8_t> report, CommandFrame& frame) noexcept {
    frame = CommandFrame{};
    if (report.size() != kReportBytes || report[0] != 0x00) return false;
    const auto filler = report.subspan(1 + kFrameBytes);
    if (!std::all_of(filler.begin(), filler.end(),
                     [](std::uint8_t b) { return b == kReportFiller; })) {
        return false;
    }
    return ParseReplyFrame(report, frame);
}

}  // namespace kivrel
