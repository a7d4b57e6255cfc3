#include "net/download_progress_text.h"

#include <cstdio>
#include <limits>

namespace kivrel {
namespace {

[[nodiscard]] std::wstring Widen(const char* ascii) {
    std::wstring out;
    for (const char* p = ascii; *p != '\0'; ++p) out += static_cast<wchar_t>(*p);
    return out;
}

[[nodiscard]] std::wstring Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return Widen(text);
}

[[nodiscard]] double KilobytesPerSecond(std::uint32_t speedCode) noexcept {
    return speedCode / 100000.0;
}

}  // namespace

std::optional<std::uint32_t> RemainingSeconds(std::uint32_t bytes, std::uint32_t total,
                                              std::uint32_t speedCode) noexcept {
    if (speedCode == 0) return std::nullopt;
    if (bytes >= total) return 0;
    const double seconds = (total - bytes) / 1024.0 / KilobytesPerSecond(speedCode);
    constexpr double kMax = std::numeric_limits<std::uint32_t>::max();
    if (seconds >= kMax) return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(seconds);
}

std::wstring RemainingTimeText(std::uint32_t seconds) {
    std::wstring text;
    const std::uint32_t hours = seconds / 3600;
    const std::uint32_t minutes = seconds % 3600 / 60;
    if (hours > 0) text += std::to_wstring(hours) + L"Hour";
    if (minutes > 0) text += std::to_wstring(minutes) + L"Minute";
    text += std::to_wstring(seconds % 60) + L"Second";
    return text;
}

std::wstring DownloadProgressText(std::uint32_t bytes, std::uint32_t total,
                                  std::uint32_t speedCode) {
    std::wstring text;
    if (total > 0) {
        text += L"Updated percent";
        text += Format("%.02f%% ", static_cast<double>(bytes) / total * 100.0);
    }
    text += L"Speed";
    text += Format("%.02fKb/s  ", KilobytesPerSecond(speedCode));
    if (total > 0) {
        if (const auto seconds = RemainingSeconds(bytes, total, speedCode)) {
            text += L"Remaining time";
            text += RemainingTimeText(*seconds);
        }
    }
    return text;
}

}  // namespace kivrel
