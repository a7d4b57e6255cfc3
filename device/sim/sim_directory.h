#pragma once
// A simulated unit kept in a directory: unit.json ({"boot_version": N, "capacity": N} and
// optional fault keys) beside bank0.bin and bank1.bin, `capacity` bytes each, 0xFF = erased.
// Fault keys: refuse_block, drop_report, corrupt_report, stop_after_reports,
// disconnect_after_reports, erase_ms_per_sector, late_report, late_ms (see SimFaults),
// frame_us, the pace of the wire (see SimSettings), and the asynchronous mode's async,
// answer_latency_us, first_answer_ms and slow_answers (see SimTiming; a latency turns it on).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "device/sim/simulated_unit.h"

namespace kivrel {

inline constexpr std::int32_t kSimDefaultBoot = 1011;
inline constexpr std::uint32_t kSimDefaultCapacity = 0x1000000;  // 16 MiB
// Banks are whole sectors, and both are held on disk, so keep them to a sane size.
inline constexpr std::uint32_t kSimMaxCapacity = 0x4000000;  // 64 MiB

struct SimUnitFile {
    std::int32_t bootVersion = kSimDefaultBoot;
    std::uint32_t capacity = kSimDefaultCapacity;
    SimFaults faults;
    std::uint32_t frameUs = 0;  // "frame_us": the wire's pace, see SimSettings
    SimTiming timing;
};

// Parses unit.json's text. Returns an error text, empty on success.
[[nodiscard]] std::string ParseSimUnitJson(std::string_view text, SimUnitFile& unit);
// Empty when `capacity` is a usable bank size, else why not.
[[nodiscard]] std::string CheckSimCapacity(std::uint64_t capacity);

// Makes a blank unit in `directory` (created if missing): unit.json and two erased banks.
// Refuses a directory that already holds a unit. Returns an error text, empty on success.
[[nodiscard]] std::string CreateSimDirectory(const std::filesystem::path& directory,
                                             std::int32_t bootVersion, std::uint32_t capacity);

// Opens the unit kept in `directory`; null with `error` set when it cannot. The banks are
// written through on every erase and write the unit accepts.
[[nodiscard]] std::unique_ptr<SimulatedUnit> OpenSimDirectory(
    const std::filesystem::path& directory, std::string& error);

}  // namespace kivrel
