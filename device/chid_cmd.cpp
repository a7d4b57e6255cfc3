#include "device/chid_cmd.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

namespace kivrel {
namespace {

// Late replies that may come before the one awaited: more means the link is out of step.
constexpr int kMaxStaleReplies = 8;

}  // namespace

CHidCmd::~CHidCmd() {
    CloseHandles();
}

void CHidCmd::Attach(std::unique_ptr<HidTransport> link, EventSink* sink) {
    CloseHandles();
    transport = std::move(link);
    notify = sink;
    connected = transport ? 1 : 0;
}

void CHidCmd::CloseHandles() noexcept {
    if (transport) transport->Close();
    transport.reset();
    connected = 0;
}

bool CHidCmd::SendCommand(CommandCode code, std::uint32_t wordA, std::uint32_t wordB,
                          std::uint32_t wordC, std::uint8_t bank, std::uint32_t dataSum) {
    replyTimeoutMs = timeoutMs;
    if (code == CommandCode::kEraseSectors) {
        const std::uint64_t wait =
            std::uint64_t{timeoutMs} + std::uint64_t{wordB} * kEraseMsPerSector;
        replyTimeoutMs = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(wait, std::numeric_limits<std::uint32_t>::max()));
    }
    replyCode = static_cast<std::uint8_t>(code);
    if (!transport || StopRequested()) return false;
    (void)transport->DiscardInput();
    WriteFrame(MakeCommandFrame(code, wordA, wordB, wordC, bank, dataSum), report);
    return transport->WriteReport(report, timeoutMs);
}

bool CHidCmd::ReadInput(std::size_t& count, std::uint32_t waitMs) {
    report.fill(0);
    count = 0;
    if (untilAnsweredMs != 0) waitMs = std::min(waitMs, untilAnsweredMs);
    if (!transport || !transport->ReadReport(report, count, waitMs)) return false;
    count = std::min(count, kReportBytes);
    untilAnsweredMs = 0;
    return true;
}

bool CHidCmd::ReceiveReply(CommandFrame* reply) {
    using Clock = std::chrono::steady_clock;
    if (reply != nullptr) *reply = CommandFrame{};
    std::uint32_t waitMs = std::exchange(replyTimeoutMs, timeoutMs);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (int stale = 0;; ++stale) {
        std::size_t count = 0;
        if (!ReadInput(count, waitMs)) return false;
        CommandFrame frame;
        if (!ParseReplyFrame(std::span(report).first(count), frame)) return false;
        // A reply that names another command is an earlier command's, come after its bound.
        // One that names no command at all is taken as this command's: nothing promises that
        // every unit echoes the code, and such a unit must not fail every exchange.
        if (frame.code == replyCode || !IsCommandCode(frame.code)) {
            if (reply != nullptr) *reply = frame;
            return frame.wordA == 0;
        }
        // Wait on for this command's own reply.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (stale == kMaxStaleReplies || left <= 0) return false;
        waitMs = static_cast<std::uint32_t>(left);
    }
}

int CHidCmd::ReadOneBlock(std::uint32_t block, std::uint8_t bank,
                          std::span<std::uint8_t, kBlockBytes> destination) {
    if (!SendCommand(CommandCode::kReadBlock, block, 1, 0, bank, 0)) return -1;
    abortFlag = 0;
    std::size_t total = 0;
    while (total < kBlockBytes) {
        std::size_t count = 0;
        // A report without data would never fill the block: count it as a failed read.
        if (!ReadInput(count, timeoutMs) || count < 2) return static_cast<int>(total);
        const std::size_t dataCount = count - 1;
        const std::size_t room = kBlockBytes - total;
        std::copy_n(report.begin() + 1, std::min(dataCount, room), destination.begin() + total);
        Notify().TransferRead(static_cast<std::uint32_t>(dataCount));
        total += dataCount;
        if (abortFlag.load(std::memory_order_relaxed) != 0 || StopRequested()) return 0;
    }
    return ReceiveReply() ? static_cast<int>(std::min(total, kBlockBytes)) : -2;
}

int CHidCmd::WriteBlockData(std::uint32_t blockCount, std::span<const std::uint8_t> source) {
    abortFlag = 0;
    const std::uint64_t amount = std::uint64_t{blockCount} * kBlockBytes;
    if (amount > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ||
        source.size() < amount) {
        return 0;
    }
    std::size_t sent = 0;
    while (sent < amount) {
        report[0] = 0x00;  // the 64 data bytes cover all the rest of the report
        std::copy_n(source.begin() + sent, kReportDataBytes, report.begin() + 1);
        if (!transport || !transport->WriteReport(report, timeoutMs)) {
            return static_cast<int>(sent);
        }
        Notify().TransferWritten(kReportDataBytes);
        sent += kReportDataBytes;
        if (abortFlag.load(std::memory_order_relaxed) != 0 || StopRequested()) return 0;
    }
    return ReceiveReply() ? static_cast<int>(sent) : -2;
}

}  // namespace kivrel
