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
    owedCode = 0;
    stranded = false;
    connected = transport ? 1 : 0;
}

void CHidCmd::CloseHandles() noexcept {
    if (transport) transport->Close();
    transport.reset();
    connected = 0;
}

bool CHidCmd::IsAwaitedReply(const CommandFrame& frame, std::uint8_t code) noexcept {
    // A reply that names another command is an earlier command's, come after its bound. One
    // that names no command at all is taken as the awaited one: nothing promises that every
    // unit echoes the code, and such a unit must not fail every exchange.
    return frame.code == code || !IsCommandCode(frame.code);
}

bool CHidCmd::Settle() {
    if (stranded) return false;
    if (owedCode != 0 && Clock::now() < owedUntil) {
        // Sending now would have the owed reply answer this command, or be taken as its data.
        bool ended = false;
        for (std::size_t looked = 0; looked < kMaxDiscardedReports && !ended; ++looked) {
            std::size_t count = 0;
            if (!ReadInput(count, 0)) break;
            CommandFrame frame;
            ended = ParseReplyFrame(std::span(report).first(count), frame) &&
                    IsAwaitedReply(frame, owedCode);
        }
        if (!ended) return false;
    }
    owedCode = 0;
    (void)transport->DiscardInput();
    return true;
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
    if (!Settle()) {
        ++unsettled;
        return false;
    }
    WriteFrame(MakeCommandFrame(code, wordA, wordB, wordC, bank, dataSum), report);
    // Owed from here on: even a write that reports failure may have reached the unit.
    owedCode = replyCode;
    owedUntil = Clock::now() + std::chrono::milliseconds(replyTimeoutMs);
    if (transport->WriteReport(report, timeoutMs)) return true;
    ++unsettled;
    return false;
}

bool CHidCmd::ReadInput(std::size_t& count, std::uint32_t waitMs) {
    report.fill(0);
    count = 0;
    if (untilAnsweredMs != 0) waitMs = std::min(waitMs, untilAnsweredMs);
    if (!transport || !transport->ReadReport(report, count, waitMs)) return false;
    count = std::min(count, kReportBytes);
    untilAnsweredMs = 0;
    // The unit is at work on the exchange: the rest of it gets a whole bound from now.
    if (owedCode != 0) {
        owedUntil = std::max(owedUntil, Clock::now() + std::chrono::milliseconds(timeoutMs));
    }
    return true;
}

void CHidCmd::GiveUp() noexcept {
    ++unsettled;
    // A unit that has not answered once gives no sign that it takes commands at all: what is
    // sent to it waits until it has answered this one, however long that takes.
    if (untilAnsweredMs != 0) owedUntil = Clock::time_point::max();
}

bool CHidCmd::ReceiveReply(CommandFrame* reply) {
    if (reply != nullptr) *reply = CommandFrame{};
    std::uint32_t waitMs = std::exchange(replyTimeoutMs, timeoutMs);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (int stale = 0;; ++stale) {
        std::size_t count = 0;
        CommandFrame frame;
        if (!ReadInput(count, waitMs)) {
            GiveUp();  // the reply is still owed
            return false;
        }
        // A malformed report came in the reply's place: the exchange is over, but not in step.
        // Should it have been a stray with the reply still to come, that reply names this
        // command and no later one takes it for its own.
        if (!ParseReplyFrame(std::span(report).first(count), frame)) {
            owedCode = 0;
            ++unsettled;
            return false;
        }
        if (IsAwaitedReply(frame, replyCode)) {
            owedCode = 0;
            if (reply != nullptr) *reply = frame;
            return frame.wordA == 0;
        }
        // Wait on for this command's own reply.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (stale == kMaxStaleReplies || left <= 0) {
            ++unsettled;
            return false;
        }
        waitMs = static_cast<std::uint32_t>(left);
    }
}

int CHidCmd::ReadOneBlock(std::uint32_t block, std::uint8_t bank,
                          std::span<std::uint8_t, kBlockBytes> destination) {
    if (!SendCommand(CommandCode::kReadBlock, block, 1, 0, bank, 0)) return -1;
    abortFlag = 0;
    std::size_t total = 0;
    int stale = 0;
    while (total < kBlockBytes) {
        std::size_t count = 0;
        // A report without data would never fill the block: count it as a failed read.
        if (!ReadInput(count, timeoutMs)) {
            GiveUp();
            return static_cast<int>(total);
        }
        if (count < 2) {
            ++unsettled;
            return static_cast<int>(total);
        }
        CommandFrame frame;
        if (ParseReplyFrame(std::span(report).first(count), frame)) {
            // A reply frame is never block data. This command's own, before all its data: data
            // reports were lost on the way, and the exchange is over. Another's: a late one.
            if (IsAwaitedReply(frame, replyCode)) {
                owedCode = 0;
                return static_cast<int>(total);
            }
            if (++stale > kMaxStaleReplies) {
                ++unsettled;
                return static_cast<int>(total);
            }
            continue;
        }
        const std::size_t dataCount = count - 1;
        const std::size_t room = kBlockBytes - total;
        std::copy_n(report.begin() + 1, std::min(dataCount, room), destination.begin() + total);
        Notify().TransferRead(static_cast<std::uint32_t>(dataCount));
        total += dataCount;
        if (abortFlag.load(std::memory_order_relaxed) != 0 || StopRequested()) {
            ++unsettled;
            return 0;
        }
    }
    return ReceiveReply() ? static_cast<int>(std::min(total, kBlockBytes)) : -2;
}

int CHidCmd::WriteBlockData(std::uint32_t blockCount, std::span<const std::uint8_t> source) {
    abortFlag = 0;
    const std::uint64_t amount = std::uint64_t{blockCount} * kBlockBytes;
    // A data phase that stops before its last report leaves the unit waiting for data: it
    // would take the next command as data, so no command is sent on this link again.
    const auto cutShort = [this](std::size_t sent) {
        stranded = true;
        ++unsettled;
        return static_cast<int>(sent);
    };
    if (amount > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ||
        source.size() < amount) {
        return cutShort(0);
    }
    std::size_t sent = 0;
    while (sent < amount) {
        report[0] = 0x00;  // the 64 data bytes cover all the rest of the report
        std::copy_n(source.begin() + sent, kReportDataBytes, report.begin() + 1);
        if (!transport || !transport->WriteReport(report, timeoutMs)) return cutShort(sent);
        Notify().TransferWritten(kReportDataBytes);
        sent += kReportDataBytes;
        if (abortFlag.load(std::memory_order_relaxed) != 0 || StopRequested()) return cutShort(0);
    }
    return ReceiveReply() ? static_cast<int>(sent) : -2;
}

}  // namespace kivrel
