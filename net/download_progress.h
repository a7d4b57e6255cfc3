#pragma once
// The downloader's progress arithmetic: percentage, speed code and speed-limit pause. Pure
// functions so they are tested without a network.

#include <cstdint>

namespace kivrel {

// Speed messages come at most this often.
inline constexpr std::uint64_t kSpeedIntervalMs = 1000;

// Whole percent of the file present: (offset + received) * 100 / (offset + contentLength),
// truncated, at most 100 (a server may send more than it announced); 0 when the total is 0.
// Computed in 64 bits: a 32-bit product overflows past 42 MB.
[[nodiscard]] std::uint32_t DownloadPercent(std::uint64_t resumeOffset, std::uint64_t received,
                                            std::uint64_t contentLength) noexcept;

// KB per second x 100000, truncated, for `bytes` moved in `elapsedMs`. Saturates at the
// largest 32-bit value (about 42 MB/s), which a local or fast link easily exceeds.
[[nodiscard]] std::uint32_t SpeedCode(std::uint64_t bytes, std::uint64_t elapsedMs) noexcept;

// How long to pause before the next piece so that `received` bytes after `elapsedMs` stay
// within `speedLimit` bytes per millisecond; 0 for no limit (0, negative or not a number).
[[nodiscard]] std::uint32_t SpeedLimitDelayMs(std::uint64_t received, std::uint64_t elapsedMs,
                                              double speedLimit) noexcept;

// The running state of ReportProgress for one transfer.
struct ProgressState {
    std::uint64_t lastTick = 0;      // ms of the last speed message (the start at first)
    std::uint64_t lastReceived = 0;  // bytes at the last speed message
    std::uint32_t lastPercent = 0;
};

}  // namespace kivrel
