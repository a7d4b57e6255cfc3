#pragma once
// Shared pieces of the device tests: a sink that records progress, packages built in memory,
// and a unit object wired to an in-memory simulated unit.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/event_sink.h"
#include "device/gps_unit.h"
#include "device/sim/simulated_unit.h"
#include "package/update_package.h"

namespace kivrel::test {

struct RecordingSink : NullEventSink {
    std::vector<std::uint32_t> starts;
    std::uint32_t writtenReports = 0;
    std::uint64_t writtenBytes = 0;
    std::uint64_t writtenAtStart = 0;  // writtenBytes when the last transfer started
    std::uint32_t readReports = 0;
    std::function<void()> onWritten;

    void TransferStart(std::uint32_t total) override {
        starts.push_back(total);
        writtenAtStart = writtenBytes;
    }
    void TransferWritten(std::uint32_t bytes) override {
        ++writtenReports;
        writtenBytes += bytes;
        if (onWritten) onWritten();
    }
    void TransferRead(std::uint32_t) override { ++readReports; }
};

// Deterministic plain bytes.
[[nodiscard]] std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed);
// `plain` with a 32-bit date (seconds) at word `wordIndex`, as the unit reads dates back.
[[nodiscard]] std::vector<std::uint8_t> Dated(std::vector<std::uint8_t> plain,
                                              std::size_t wordIndex, std::uint32_t seconds);
// The stored form of a section: scrambled, padded with 0xFF. `plainSumRule` (base, resource,
// database, model data): recorded size = plain size, checksum = plain sum + 255 per padding
// byte; otherwise recorded size 0 and checksum = byte sum of the stored bytes.
[[nodiscard]] SectionBuffer MakeSection(const std::vector<std::uint8_t>& plain, bool plainSumRule);
[[nodiscard]] ModelEntry MakeModelEntry(std::uint32_t modelId,
                                        const std::vector<std::uint8_t>& data,
                                        std::uint32_t firstLayoutWord = 0,
                                        std::uint32_t altMainFlag = 0,
                                        std::uint32_t secondLayoutWord = 0);
// Four ASCII characters as the unit stores a model id.
[[nodiscard]] std::uint32_t ModelId(const char (&text)[5]);

inline constexpr std::uint32_t kResourceSeconds = 1700000000;
inline constexpr std::uint32_t kDatabaseSeconds = 1710000000;
inline constexpr std::uint32_t kMainSeconds = 1720000000;

// Resource, database, main, auxiliary and base of the given plain sizes, dated.
[[nodiscard]] UpdatePackage MakePackage(std::size_t resource, std::size_t database,
                                        std::size_t main, std::size_t auxiliary = 0,
                                        std::size_t base = 0);

// A unit object linked to an in-memory simulated unit, with a short report wait.
class SimUnit {
public:
    explicit SimUnit(std::int32_t bootVersion = 1011, std::uint32_t capacity = 0x1000000);
    void Connect();  // attaches the link; no reading yet
    [[nodiscard]] bool ConnectAndRead();

    [[nodiscard]] std::vector<std::uint8_t> Bytes(std::uint8_t bank, std::uint32_t address,
                                                  std::size_t length);
    void Put(std::uint8_t bank, std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    // Commands the unit received since the last call.
    [[nodiscard]] std::vector<CommandFrame> NewCommands();

    MemoryBankStore* banks = nullptr;
    std::unique_ptr<SimulatedUnit> sim;
    RecordingSink sink;
    CGpsUnit unit;

private:
    std::size_t seen = 0;
};

}  // namespace kivrel::test
