#include "net/download_progress.h"

#include <cmath>
#include <limits>

namespace kivrel {
namespace {

constexpr double kMaxU32 = static_cast<double>(std::numeric_limits<std::uint32_t>::max());

// Converting a double outside the target's range is undefined; clamp first.
[[nodiscard]] std::uint32_t SaturatingU32(double value) noexcept {
    if (!(value > 0.0)) return 0;
    if (value >= kMaxU32) return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::uint32_t DownloadPercent(std::uint64_t resumeOffset, std::uint64_t received,
                              std::uint64_t contentLength) noexcept {
    const std::uint64_t total = resumeOffset + contentLength;
    if (total == 0) return 0;
    const std::uint64_t present = resumeOffset + received;
    if (present >= total) return 100;
    // present < total < 2^63 here, so present * 100 cannot wrap for any real file.
    return static_cast<std::uint32_t>(present * 100 / total);
}

std::uint32_t SpeedCode(std::uint64_t bytes, std::uint64_t elapsedMs) noexcept {
    if (elapsedMs == 0) return 0;
    const double kilobytesPerSecond =
        static_cast<double>(bytes) / 1024.0 / (static_cast<double>(elapsedMs) / 1000.0);
    return SaturatingU32(std::floor(kilobytesPerSecond * 100000.0));
}

std::uint32_t SpeedLimitDelayMs(std::uint64_t received, std::uint64_t elapsedMs,
                                double speedLimit) noexcept {
    if (!(speedLimit > 0.0) || received == 0) return 0;
    const double due = static_cast<double>(received) / speedLimit;
    const double elapsed = static_cast<double>(elapsedMs);
    if (due <= elapsed) return 0;
    return SaturatingU32(due - elapsed);
}

}  // namespace kivrel
