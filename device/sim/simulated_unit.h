#pragma once
// A unit that lives in memory (or in a sim directory's files) and talks through HidTransport.
// It answers every command with well-formed frames, checks every frame and each data_sum, and
// can be told to fail on purpose so that every failure path of the tool can be run.
//
// By default it answers at once, on the caller's thread: its answer is waiting before the tool
// reads. In its asynchronous mode it answers as a unit on a real bus does, from its own thread
// and a while after the report that asked: a timing fault of the tool's exchange then shows.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/command_frame.h"
#include "device/hid_transport.h"
#include "device/sim/bank_store.h"
#include "package/scrambler.h"

namespace kivrel {

// Reports are numbered from 1 in the order they are exchanged, counting both directions: for a
// run without lost reports this is the line number in a trace. 0 turns a fault off.
struct SimFaults {
    std::int64_t refuseBlock = -1;             // status 1 for any command touching this block
    std::uint64_t dropReport = 0;              // this report is lost on the wire
    std::uint64_t corruptReport = 0;           // one bit of this report is flipped
    std::uint64_t stopAfterReports = 0;        // then the unit takes reports but never answers
    std::uint64_t disconnectAfterReports = 0;  // then every transfer fails at once
    std::uint32_t eraseMsPerSector = 0;        // an erase's reply comes this late per sector
    std::uint64_t lateReport = 0;              // this report to the tool, and all after it,
    std::uint32_t lateMs = 0;                  //   come this much later than they would
};

// The asynchronous mode: the unit takes each report the tool sends on its own thread,
// `answerLatencyUs` after it arrived, and what it sends back is there from then on. Its first
// `slowAnswers` commands wait `firstAnswerMs` more (a unit just plugged in, or a busy one).
struct SimTiming {
    bool async = false;
    std::uint32_t answerLatencyUs = 0;
    std::uint32_t firstAnswerMs = 0;
    std::uint32_t slowAnswers = 1;
};

struct SimSettings {
    std::int32_t bootVersion = 1011;
    SimFaults faults;
    // Paces the unit as the wire would: every report, either way, takes one frame of this
    // many microseconds (1000 for a full-speed USB device); 0 answers at once. Not in the
    // asynchronous mode, whose own latency stands for the wire.
    std::uint32_t frameUs = 0;
    SimTiming timing{};
};

// In the asynchronous mode the transfers and the queries below may come from any thread; the
// settings (Faults) are changed only while no exchange runs.
class SimulatedUnit final : public HidTransport {
public:
    SimulatedUnit(SimSettings settings, std::unique_ptr<BankStore> banks);
    // Takes in, and stores, what the tool had sent before it stops.
    ~SimulatedUnit() override;
    SimulatedUnit(const SimulatedUnit&) = delete;
    SimulatedUnit& operator=(const SimulatedUnit&) = delete;

    [[nodiscard]] bool WriteReport(ReportView report, std::uint32_t timeoutMs) override;
    [[nodiscard]] bool ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                                  std::uint32_t timeoutMs) override;
    void Close() override;

    [[nodiscard]] BankStore& Banks() noexcept { return *banks; }
    SimFaults& Faults() noexcept { return settings.faults; }
    // Every well-formed command received, in order.
    [[nodiscard]] const std::vector<CommandFrame>& Commands() const noexcept { return commands; }
    // What the tool did wrong: malformed reports, bad arguments, data out of place.
    [[nodiscard]] const std::vector<std::string>& Violations() const noexcept { return violations; }
    [[nodiscard]] std::uint64_t ReportsExchanged() const noexcept { return exchanged; }
    // Commands that came while the unit still had answers to earlier ones on the way: the
    // tool did not wait for an exchange to end before it began the next.
    [[nodiscard]] std::uint64_t CommandsOutOfStep() const noexcept { return outOfStep; }
    // Whether the unit is unplugged (disconnect_after_reports reached); Replug brings it back
    // with that fault spent, as a unit plugged in again starts afresh.
    [[nodiscard]] bool Disconnected();
    void Replug();
    // Asynchronous mode: returns once every report the tool sent has been taken in.
    void WaitIdle();

private:
    using Clock = std::chrono::steady_clock;
    struct Incoming {
        Report report;
        Clock::time_point arrived;
    };
    void Serve();
    void Take(const Report& received);
    struct Outgoing {
        Report report;
        Clock::time_point readyAt;
    };
    struct BlockWrite {
        std::uint32_t firstBlock = 0;
        std::uint32_t blocks = 0;
        std::uint32_t wordC = 0;
        std::uint8_t bank = 0;
        std::uint32_t dataSum = 0;
        std::uint8_t code = 0;
        bool refused = false;
        std::uint32_t reportsLeft = 0;
        std::uint32_t received = 0;
        std::uint32_t sum = 0;
        Scrambler scrambler;
    };

    void HandleCommand(const Report& report);
    void HandleData(const Report& report);
    void Erase(const CommandFrame& frame);
    void ReadBlock(const CommandFrame& frame);
    void StartBlockWrite(const CommandFrame& frame);
    void FinishBlockWrite();
    // Where the main image goes: the layout record's main start, else the fixed address.
    [[nodiscard]] std::uint32_t MainRegionStart();
    void Reply(std::uint8_t code, std::uint32_t status, std::uint32_t value = 0,
               Clock::duration delay = {});
    void Violation(std::string text);
    [[nodiscard]] bool Touches(std::uint64_t firstBlock, std::uint64_t blocks) const noexcept;
    [[nodiscard]] bool Unplugged() noexcept;
    [[nodiscard]] bool Silent() const noexcept;
    void Corrupt(std::span<std::uint8_t> report) const noexcept;
    // Waits for the next free frame on the wire, at `ready` or later, and takes it. `toolTime`:
    // how long the tool took since the unit last handed it control.
    void TakeFrame(Clock::duration toolTime, Clock::time_point ready = {});
    // When paced: the end of the last frame, the moment a reply can be ready; else the clock.
    [[nodiscard]] Clock::time_point Now() const;
    [[nodiscard]] Clock::duration ToolTime() const;
    // Notes when a call returns to the tool.
    struct HandBack {
        explicit HandBack(SimulatedUnit& unit) : unit(unit) {}
        ~HandBack() {
            // Only a paced wire needs to know how long the tool took between its calls.
            if (unit.settings.frameUs != 0) unit.handedBackAt = Clock::now();
        }
        HandBack(const HandBack&) = delete;
        HandBack& operator=(const HandBack&) = delete;
        SimulatedUnit& unit;
    };

    SimSettings settings;
    std::unique_ptr<BankStore> banks;
    std::deque<Outgoing> outgoing;
    bool writing = false;  // between a WriteBlocks command and its last data report
    BlockWrite write;
    std::vector<std::uint8_t> pending;  // the data of the current write, stored on success
    std::vector<CommandFrame> commands;
    std::vector<std::string> violations;
    std::uint64_t exchanged = 0;
    bool disconnected = false;
    Clock::time_point wireFreeAt{};
    Clock::time_point handedBackAt{};
    bool closed = false;
    bool madeLate = false;
    std::uint64_t outOfStep = 0;
    // The asynchronous mode's: what the tool sent and the unit has not yet taken in.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Incoming> incoming;
    bool busy = false;  // the unit's thread is taking a report in
    bool stopping = false;
    std::thread server;
};

// A transport that forwards to one it does not own, so a test or benchmark can keep looking at
// the simulator while a CHidCmd holds the link.
class BorrowedTransport final : public HidTransport {
public:
    explicit BorrowedTransport(HidTransport& target) noexcept : target(target) {}
    std::size_t DiscardInput() override { return target.DiscardInput(); }
    [[nodiscard]] bool WriteReport(ReportView report, std::uint32_t timeoutMs) override {
        return target.WriteReport(report, timeoutMs);
    }
    [[nodiscard]] bool ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                                  std::uint32_t timeoutMs) override {
        return target.ReadReport(report, count, timeoutMs);
    }
    void Close() override {}

private:
    HidTransport& target;
};

}  // namespace kivrel
