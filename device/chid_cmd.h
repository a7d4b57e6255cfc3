#pragma once
// The unit's command layer: builds and checks command frames, runs the data phases of the two
// block commands and reports progress through the event sink. One report buffer, no queue, no
// lock: callers finish one exchange (command, data, reply) before starting the next.
//
// A real unit answers on its own schedule, so the link keeps itself in step: a command goes
// only once the previous exchange has ended (its reply came, or its whole bound passed), a
// reply counts only when it carries the code of the command sent, and a reply frame is never
// taken as block data. An exchange given up before its whole bound (the first-answer bound)
// leaves the link out of step: later commands are not sent until its reply has come.

#include <atomic>
#include <chrono>
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
// Until the unit first answers, each wait is cut to this, so a silent unit is known in seconds
// rather than after every step's whole bound. A unit answers a query within milliseconds once
// it runs, but its first answer after plugging in, or on a loaded computer, can take seconds.
inline constexpr std::uint32_t kFirstAnswerTimeoutMs = 5000;

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

    // Once the previous exchange has ended, drops the input reports waiting from earlier ones,
    // then composes and writes one command report; true when it was written. False, with
    // nothing sent, while an earlier exchange is still owed its reply (see InStep) or after a
    // data phase was cut short (the unit then waits for data that no command can give).
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

    // False while an exchange given up before its whole bound may still be answered, or after
    // a data phase was cut short; Attach starts in step.
    [[nodiscard]] bool InStep() const noexcept { return owedCode == 0 && !stranded; }
    // How many exchanges so far ended without their reply in step (given up, or not sent
    // because the link was out of step). A reading during which this grew is not to be trusted.
    [[nodiscard]] std::uint32_t UnsettledExchanges() const noexcept { return unsettled; }

    // Raised by another thread to end a data phase after the current report.
    std::atomic<std::int32_t> abortFlag{0};

    // Another thread's request to stop using the unit (the window closing, the unit pulled
    // out): the current data phase ends after its report and every later exchange fails,
    // until ClearStop. Unlike the abort flag, no data phase clears it.
    void RequestStop() noexcept { stopFlag = 1; }
    void ClearStop() noexcept { stopFlag = 0; }
    [[nodiscard]] bool StopRequested() const noexcept { return stopFlag.load() != 0; }

private:
    using Clock = std::chrono::steady_clock;

    [[nodiscard]] bool ReadInput(std::size_t& count, std::uint32_t waitMs);
    // True once nothing is owed from earlier exchanges: their bound has passed, or their reply
    // is among the reports already come (which are dropped). Waits for nothing.
    [[nodiscard]] bool Settle();
    // An exchange ends without its reply: it stays owed until its whole bound has passed.
    void GiveUp() noexcept;
    // True for a well-formed reply frame that answers the command `code`.
    [[nodiscard]] static bool IsAwaitedReply(const CommandFrame& frame, std::uint8_t code) noexcept;

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
    std::uint8_t owedCode = 0;                         // an unfinished exchange's command; 0: none
    Clock::time_point owedUntil{};                     // when that exchange's whole bound ends
    bool stranded = false;                             // a data phase was cut short
    std::uint32_t unsettled = 0;
};

}  // namespace kivrel
