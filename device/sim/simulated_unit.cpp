#include "device/sim/simulated_unit.h"

#include <algorithm>
#include <limits>
#include <thread>

#include "base/ascii_text.h"
#include "base/byte_sum.h"
#include "device/gps_unit.h"
#include "device/layout_record.h"
#include "package/scrambler.h"

namespace kivrel {
namespace {

constexpr std::uint32_t kBlock = 256;
constexpr std::uint32_t kSector = 4096;
constexpr std::uint32_t kReportsPerBlock = kBlock / kReportDataBytes;
// How late the paced unit may wake up without the wire losing the time.
constexpr std::chrono::milliseconds kForgivenLateness{20};

std::string Hex(std::uint32_t value) {
    std::string text = "0x";
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const unsigned digit = (value >> shift) & 0xF;
        if (digit != 0 || started || shift == 0) {
            text += HexDigit(digit);
            started = true;
        }
    }
    return text;
}

void SleepUntil(std::chrono::steady_clock::time_point when) {
    if (when > std::chrono::steady_clock::now()) std::this_thread::sleep_until(when);
}

}  // namespace

SimulatedUnit::SimulatedUnit(SimSettings settings, std::unique_ptr<BankStore> banks)
    : settings(settings), banks(std::move(banks)) {
    if (this->settings.timing.async) {
        this->settings.frameUs = 0;
        server = std::thread([this] { Serve(); });
    }
}

SimulatedUnit::~SimulatedUnit() {
    if (!server.joinable()) return;
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    server.join();
}

void SimulatedUnit::Close() {
    const std::lock_guard lock(mutex);
    closed = true;
}

bool SimulatedUnit::Disconnected() {
    const std::lock_guard lock(mutex);
    return Unplugged();
}

void SimulatedUnit::Replug() {
    const std::lock_guard lock(mutex);
    // A unit plugged in again has forgotten the exchange it was in.
    settings.faults.disconnectAfterReports = 0;
    disconnected = false;
    writing = false;
    outgoing.clear();
    incoming.clear();
}

void SimulatedUnit::WaitIdle() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return incoming.empty() && !busy; });
}

void SimulatedUnit::Serve() {
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !incoming.empty(); });
        if (incoming.empty()) return;  // stopping, with everything sent taken in
        busy = true;
        const SimTiming& timing = settings.timing;
        Clock::time_point due =
            incoming.front().arrived + std::chrono::microseconds(timing.answerLatencyUs);
        if (!writing && commands.size() < timing.slowAnswers) {
            due += std::chrono::milliseconds(timing.firstAnswerMs);
        }
        // A unit being put away stores what it was sent without keeping anyone waiting.
        changed.wait_until(lock, due, [this] { return stopping; });
        const Report received = incoming.front().report;
        incoming.pop_front();
        Take(received);
        busy = false;
        changed.notify_all();
    }
}

void SimulatedUnit::Take(const Report& received) {
    if (writing) {
        HandleData(received);
    } else {
        HandleCommand(received);
    }
}

bool SimulatedUnit::Unplugged() noexcept {
    const std::uint64_t limit = settings.faults.disconnectAfterReports;
    if (limit != 0 && exchanged >= limit) disconnected = true;
    return disconnected;
}

bool SimulatedUnit::Silent() const noexcept {
    const std::uint64_t limit = settings.faults.stopAfterReports;
    return limit != 0 && exchanged >= limit;
}

void SimulatedUnit::Corrupt(std::span<std::uint8_t> report) const noexcept {
    report[5] ^= 0x01;  // inside the frame's word_a, or a data byte
}

SimulatedUnit::Clock::time_point SimulatedUnit::Now() const {
    return settings.frameUs != 0 && wireFreeAt != Clock::time_point{} ? wireFreeAt : Clock::now();
}

void SimulatedUnit::TakeFrame(Clock::duration toolTime, Clock::time_point ready) {
    if (settings.frameUs == 0) return;
    const auto frame = std::chrono::microseconds(settings.frameUs);
    const Clock::time_point now = Clock::now();
    // The next frame starts when the last one has ended and the tool, taking its time, has the
    // report ready. The unit's own late wake-ups (timer slack, a busy machine) are not the
    // wire's: the next frames' sleeps make up for them rather than every later frame carrying
    // them. Only up to a bound, though: the wire never runs faster than a frame a report for
    // long.
    const Clock::duration forgiven = std::max<Clock::duration>(frame, kForgivenLateness);
    Clock::time_point start = wireFreeAt == Clock::time_point{} ? now : wireFreeAt + toolTime;
    start = std::max({start, ready, now - forgiven});
    wireFreeAt = start + frame;
    SleepUntil(wireFreeAt);
}

SimulatedUnit::Clock::duration SimulatedUnit::ToolTime() const {
    return handedBackAt == Clock::time_point{} ? Clock::duration{} : Clock::now() - handedBackAt;
}

bool SimulatedUnit::WriteReport(ReportView report, std::uint32_t /*timeoutMs*/) {
    const std::lock_guard lock(mutex);
    const Clock::duration toolTime = ToolTime();
    const HandBack handBack(*this);
    if (closed || Unplugged()) return false;
    if (Silent()) {
        ++exchanged;
        return true;  // taken off the wire, never acted on
    }
    TakeFrame(toolTime);
    const std::uint64_t number = ++exchanged;
    if (number == settings.faults.dropReport) return true;
    Report received;
    std::copy(report.begin(), report.end(), received.begin());
    if (number == settings.faults.corruptReport) Corrupt(received);
    // A command while answers to earlier ones are still on the way (or, asynchronously, while
    // earlier reports are still being taken in): the tool began an exchange before the last
    // one ended. Data reports of a write never parse as a command.
    CommandFrame frame;
    const bool behind = !outgoing.empty() || busy || !incoming.empty();
    if (behind && (!writing || settings.timing.async) && ParseCommandReport(received, frame)) {
        ++outOfStep;
    }
    if (settings.timing.async) {
        incoming.push_back({received, Clock::now()});
        changed.notify_all();
        return true;
    }
    Take(received);
    return true;
}

bool SimulatedUnit::ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                               std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex);
    const Clock::duration toolTime = ToolTime();
    const HandBack handBack(*this);
    std::fill(report.begin(), report.end(), 0);
    count = 0;
    if (closed || Unplugged()) return false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!outgoing.empty() && !madeLate && exchanged + 1 == settings.faults.lateReport) {
            // The unit sends in order: what it queued after this report waits behind it.
            madeLate = true;
            outgoing.front().readyAt =
                std::max(outgoing.front().readyAt,
                         Clock::now() + std::chrono::milliseconds(settings.faults.lateMs));
        }
        const bool readyInTime =
            !Silent() && !outgoing.empty() && outgoing.front().readyAt <= deadline;
        if (settings.timing.async) {
            // The unit's thread may yet send something: wait for it, or for the bound.
            const Clock::time_point now = Clock::now();
            if (!readyInTime || outgoing.front().readyAt > now) {
                if (!readyInTime && now >= deadline) return false;
                changed.wait_until(lock, readyInTime ? outgoing.front().readyAt : deadline);
                if (closed || Unplugged()) return false;
                continue;
            }
        } else if (!readyInTime) {
            SleepUntil(deadline);  // a silent unit costs the caller its whole wait
            // The wire stood idle meanwhile: the next frame starts no earlier than now.
            if (settings.frameUs != 0 && timeoutMs != 0) {
                wireFreeAt = std::max(wireFreeAt, Clock::now());
            }
            return false;
        }
        if (!settings.timing.async) SleepUntil(outgoing.front().readyAt);
        TakeFrame(toolTime, outgoing.front().readyAt);
        Report sent = outgoing.front().report;
        outgoing.pop_front();
        const std::uint64_t number = ++exchanged;
        if (number == settings.faults.dropReport) continue;
        if (number == settings.faults.corruptReport) Corrupt(sent);
        std::copy(sent.begin(), sent.end(), report.begin());
        count = kReportBytes;
        return true;
    }
}

void SimulatedUnit::Violation(std::string text) {
    violations.push_back("report " + std::to_string(exchanged) + ": " + std::move(text));
}

bool SimulatedUnit::Touches(std::uint64_t firstBlock, std::uint64_t blocks) const noexcept {
    const std::int64_t refused = settings.faults.refuseBlock;
    if (refused < 0) return false;
    const auto block = static_cast<std::uint64_t>(refused);
    return block >= firstBlock && block - firstBlock < blocks;
}

void SimulatedUnit::Reply(std::uint8_t code, std::uint32_t status, std::uint32_t value,
                          Clock::duration delay) {
    CommandFrame frame{code, kFrameLength, status, value, 0, 0, 0, kFrameSignature, 0};
    frame.frameSum = FrameSumOf(frame);
    Outgoing out{{}, Now() + delay};
    const auto bytes = EncodeFrame(frame);
    std::copy(bytes.begin(), bytes.end(), out.report.begin() + 1);
    outgoing.push_back(out);
}

void SimulatedUnit::HandleCommand(const Report& report) {
    CommandFrame frame;
    if (!ParseCommandReport(report, frame)) {
        Violation("malformed command report");
        return;  // a unit cannot answer what it cannot read
    }
    commands.push_back(frame);
    const auto code = static_cast<CommandCode>(frame.code);
    const bool magic = frame.wordA == kMagicA && frame.wordB == kMagicB;
    const bool zeroTail = frame.wordC == 0 && frame.bank == 0 && frame.dataSum == 0;
    switch (code) {
        case CommandCode::kEraseSectors:
            Erase(frame);
            return;
        case CommandCode::kReadBlock:
            ReadBlock(frame);
            return;
        case CommandCode::kWriteBlocks:
            StartBlockWrite(frame);
            return;
        case CommandCode::kSettingsDone:
        case CommandCode::kQueryVersion:
        case CommandCode::kQueryCapacity: {
            if (!magic || !zeroTail) {
                Violation("command " + Hex(frame.code) + " without the magic pair");
                Reply(frame.code, 1);
                return;
            }
            std::uint32_t value = 0;
            if (code == CommandCode::kQueryVersion) {
                value = static_cast<std::uint32_t>(settings.bootVersion);
            } else if (code == CommandCode::kQueryCapacity) {
                value = banks->Capacity();
            }
            Reply(frame.code, 0, value);
            return;
        }
        case CommandCode::kFinishUpdate:
        case CommandCode::kAbandonUnit:
            if (frame.wordA != 0 || frame.wordB != 0 || !zeroTail) {
                Violation("command " + Hex(frame.code) + " with arguments");
                Reply(frame.code, 1);
                return;
            }
            Reply(frame.code, 0);
            return;
    }
    Violation("unknown command " + Hex(frame.code));
    Reply(frame.code, 1);
}

void SimulatedUnit::Erase(const CommandFrame& frame) {
    if (frame.wordC != 0 || frame.bank != 0 || frame.dataSum != 0) {
        Violation("EraseSectors with word_c, bank or data_sum set");
    }
    const std::uint64_t offset = std::uint64_t{frame.wordA} * kSector;
    const std::uint64_t length = std::uint64_t{frame.wordB} * kSector;
    const bool inRange = offset <= banks->Capacity() && length <= banks->Capacity() - offset;
    const bool ok = inRange && !Touches(offset / kBlock, length / kBlock) &&
                    banks->Fill(0, static_cast<std::uint32_t>(offset),
                                static_cast<std::uint32_t>(length), 0xFF);
    const auto delay =
        std::chrono::milliseconds(std::uint64_t{frame.wordB} * settings.faults.eraseMsPerSector);
    Reply(frame.code, ok ? 0 : 1, 0, delay);
}

void SimulatedUnit::ReadBlock(const CommandFrame& frame) {
    if (frame.wordB != 1 || frame.wordC != 0 || frame.dataSum != 0) {
        Violation("ReadBlock with word_b other than 1, or word_c or data_sum set");
    }
    std::array<std::uint8_t, kBlock> data;
    data.fill(0xFF);
    const std::uint64_t offset = std::uint64_t{frame.wordA} * kBlock;
    const bool ok = frame.bank <= 1 && offset + kBlock <= banks->Capacity() &&
                    !Touches(frame.wordA, 1) &&
                    banks->Read(frame.bank, static_cast<std::uint32_t>(offset), data);
    if (!ok) data.fill(0xFF);
    // The data phase always runs, so the tool stays in step even when the read is refused.
    for (std::uint32_t i = 0; i < kReportsPerBlock; ++i) {
        Outgoing out{{}, Now()};
        std::copy_n(data.begin() + i * kReportDataBytes, kReportDataBytes, out.report.begin() + 1);
        outgoing.push_back(out);
    }
    Reply(frame.code, ok ? 0 : 1);
}

void SimulatedUnit::StartBlockWrite(const CommandFrame& frame) {
    if (frame.wordB == 0) {
        Violation("WriteBlocks of no blocks");
        Reply(frame.code, 1);
        return;
    }
    write = BlockWrite{};
    write.firstBlock = frame.wordA;
    write.blocks = frame.wordB;
    write.wordC = frame.wordC;
    write.bank = frame.bank;
    write.dataSum = frame.dataSum;
    write.code = frame.code;
    const std::uint64_t offset = std::uint64_t{frame.wordA} * kBlock;
    const std::uint64_t length = std::uint64_t{frame.wordB} * kBlock;
    const bool inRange = frame.bank <= 1 && offset <= banks->Capacity() &&
                         length <= banks->Capacity() - offset && frame.wordC <= length;
    write.refused = !inRange || Touches(frame.wordA, frame.wordB);
    write.reportsLeft = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        length / kReportDataBytes, std::numeric_limits<std::uint32_t>::max()));
    if (!write.refused) pending.resize(length);
    write.scrambler.Reset();
    writing = true;
}

void SimulatedUnit::HandleData(const Report& report) {
    if (report[0] != 0) Violation("data report with a report id other than 0");
    if (!write.refused) {
        const std::uint32_t at = write.received;
        const std::uint32_t end = at + kReportDataBytes;
        std::copy_n(report.begin() + 1, kReportDataBytes, pending.begin() + at);
        const std::span<std::uint8_t> all(pending);
        if (write.wordC == 0) {
            write.sum += ByteSum(all.subspan(at, kReportDataBytes));
        } else {
            // The first word_c bytes arrive scrambled: whole words are unscrambled (stream
            // state carried from report to report), a ragged tail is summed as sent, and every
            // byte after word_c counts as 255.
            const std::uint32_t wholeWords = write.wordC & ~3u;
            const std::uint32_t plainEnd = std::min(end, wholeWords);
            if (at < plainEnd) {
                const auto words = all.subspan(at, plainEnd - at);
                write.scrambler.Unscramble(words);
                write.sum += ByteSum(words);
            }
            const std::uint32_t tailStart = std::max(at, wholeWords);
            const std::uint32_t tailEnd = std::min(end, write.wordC);
            if (tailStart < tailEnd)
                write.sum += ByteSum(all.subspan(tailStart, tailEnd - tailStart));
            const std::uint32_t padStart = std::max(at, write.wordC);
            if (padStart < end) write.sum += 255u * (end - padStart);
        }
    }
    write.received += kReportDataBytes;
    if (--write.reportsLeft == 0) FinishBlockWrite();
}

std::uint32_t SimulatedUnit::MainRegionStart() {
    std::array<std::uint8_t, kLayoutBlockBytes> block{};
    LayoutRecord record;
    if (banks->Read(0, kLayoutAddress, block) && ParseLayoutBlock(block, record)) {
        return record.Word(LayoutRecord::kMainStart);
    }
    return kFixedMainAddress;
}

void SimulatedUnit::FinishBlockWrite() {
    writing = false;
    bool ok = !write.refused && write.sum == write.dataSum;
    // A unit runs its main image, so it keeps it decoded: the image arrives scrambled with no
    // size to unscramble (word_c 0), and the unit decodes all of it. Its date then reads back
    // as the update file's, as on a real unit.
    if (ok && write.wordC == 0 && write.bank == 1 &&
        write.firstBlock * kBlock == MainRegionStart()) {
        UnscrambleBuffer(pending);
    }
    ok = ok && banks->Write(write.bank, write.firstBlock * kBlock, pending);
    Reply(write.code, ok ? 0 : 1);
}

}  // namespace kivrel
