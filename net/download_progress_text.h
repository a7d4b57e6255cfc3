#pragma once
// The progress bar text while an archive downloads: percent done, speed and remaining time.

#include <cstdint>
#include <optional>
#include <string>

namespace kivrel {

// Seconds left for `total - bytes` at `speedCode` (KB/s x 100000), truncated; nullopt when the
// speed is 0, since no time can be promised then. Bytes past the total leave 0 seconds.
[[nodiscard]] std::optional<std::uint32_t> RemainingSeconds(std::uint32_t bytes,
                                                            std::uint32_t total,
                                                            std::uint32_t speedCode) noexcept;

// "1Hour2Minute5Second": hours and minutes only when not 0, seconds always.
[[nodiscard]] std::wstring RemainingTimeText(std::uint32_t seconds);

// "Updated percent25.00% Speed50.00Kb/s  Remaining time1Minute1Second" for `bytes` of
// `total` at `speedCode`. Without a speed the remaining-time piece is left out; without a
// total (the server announced no length) the percent piece and the remaining time are left
// out, since neither can be known.
[[nodiscard]] std::wstring DownloadProgressText(std::uint32_t bytes, std::uint32_t total,
                                                std::uint32_t speedCode);

}  // namespace kivrel
