#pragma once
// The unit's command layer: builds and checks command frames, runs the data phases of the two
// block commands and reports progress through the event sink. One report buffer, no queue, no
// lock: callers finish one exchange (command, data, reply) before starting the next. A reply
// that comes after its bound must not answer the next command: each command first drops what
// is waiting, and a reply counts only when it carries the code of the command sent.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

#include "base/event_sink.h"
#include "device/command_frame.h"
#include "device/hid_transport.h"

namespace kivrel {

inline constexpr std::size_t kBlockBytes = 256;
inline constexpr std::uint32_t kDefaultTimeoutMs = 30000;
// NOR flash needs up to a few hundred ms per 4 KiB sector; an erase's reply waits this much
// longer per sector.
inline constexpr std::uint32_t kEraseMsPerSector = 500;
// A unit answers a query within milliseconds: until it first answers, each wait is cut to
// this, so a silent unit is known in seconds rather than after every step's whole bound.
inline constexpr std::uint32_t kFirstAnswerTimeoutMs = 1000;

class CHidCmd {
public:
    CHidCmd() = default;
    virtual ~CHidCmd();
    CHidCmd(const CHidCmd&) = delete;
    CHidCmd& operator=(const CHidCmd&) = delete;

    // Takes over an opened transport (null leaves the link closed) and the sink that receives
    // progress (null: progress is dropped). Connected until CloseHandles.
    void Attach(std::unique_ptr<HidTransport> link, EventSink* sink);
    // Closes the transport and clears the connected flag.
    void CloseHandles() noexcept;
    [[nodiscard]] bool Connected() const noexcept { return connected.load() != 0; }
    [[nodiscard]] EventSink& Notify() noexcept { return notify != nullptr ? *notify : nullSink; }
    void SetNotify(EventSink* sink) noexcept { notify = sink; }

    // The bound on one report's wait. An EraseSectors reply of N sectors waits this plus
    // 500 ms per sector.
    void SetTimeoutMs(std::uint32_t milliseconds) noexcept { timeoutMs = milliseconds; }
    [[nodiscard]] std::uint32_t TimeoutMs() const noexcept { return timeoutMs; }
    // Until the unit next sends a report, no wait is longer than `milliseconds`: a unit that
    // does not answer at all costs a reading seconds, not a full bound for every step.
    void BoundWaitsUntilAnswered(std::uint32_t milliseconds) noexcept {
        untilAnsweredMs = milliseconds;
    }
    // True while such a bound is set and nothing has come from the unit since.
    [[nodiscard]] bool Unanswered() const noexcept { return untilAnsweredMs != 0; }

    // Drops the input reports waiting from earlier exchanges, then composes and writes one
    // command report; true when it was written.
    [[nodiscard]] bool SendCommand(CommandCode code, std::uint32_t wordA, std::uint32_t wordB,
                                   std::uint32_t wordC, std::uint8_t bank, std::uint32_t dataSum);
    // Reads the reply to the last command sent, passing over well-formed replies to other
    // commands (late ones) within the same bound. True only for a well-formed reply with that
    // command's code and status 0. `reply` (optional) receives such a reply whatever its
    // status, else all zero.
    [[nodiscard]] bool ReceiveReply(CommandFrame* reply = nullptr);
    // One ReadBlock exchange: 256 on success, -1 when the command could not be sent, -2 when
    // the closing reply is not a success, the bytes gathered when a data report could not be
    // read, 0 when the abort flag was raised.
    [[nodiscard]] int ReadOneBlock(std::uint32_t block, std::uint8_t bank,
                                   std::span<std::uint8_t, kBlockBytes> destination);
    // The data phase of a WriteBlocks whose command the caller has sent: blockCount x 256 on
    // success, -2 on a refused reply, the bytes sent when a data report could not be written,
    // 0 when the abort flag was raised (or `source` holds fewer than blockCount x 256 bytes).
    [[nodiscard]] int WriteBlockData(std::uint32_t blockCount,
                                     std::span<const std::uint8_t> source);

    // Raised by another thread to end a data phase after the current report.
    std::atomic<std::int32_t> abortFlag{0};

    // Another thread's request to stop using the unit (the window closing, the unit pulled
    // out): the current data phase ends after its report and every later exchange fails,
    // until ClearStop. Unlike the abort flag, no data phase clears it.
    void RequestStop() noexcept { stopFlag = 1; }
    void ClearStop() noexcept { stopFlag = 0; }
    [[nodiscard]] bool StopRequested() const noexcept { return stopFlag.load() != 0; }

private:
    [[nodiscard]] bool ReadInput(std::size_t& count, std::uint32_t waitMs);

    Report report{};
    std::unique_ptr<HidTransport> transport;
    std::atomic<std::int32_t> connected{0};
    std::atomic<std::int32_t> stopFlag{0};
    EventSink* notify = nullptr;
    NullEventSink nullSink;
    std::uint32_t timeoutMs = kDefaultTimeoutMs;
    std::uint32_t replyTimeoutMs = kDefaultTimeoutMs;  // for the reply to the last command
    std::uint8_t replyCode = 0;                        // the code of the last command
    std::uint32_t untilAnsweredMs = 0;                 // 0: no bound until the first answer
};

}  // namespace kivrel
