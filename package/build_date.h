#pragma once
// Dates carried in update files and read back from units: seconds since 1970-01-01 00:00:00,
// no time zone.

#include <cstdint>
#include <string>

namespace kivrel {

struct BuildDate {
    std::uint8_t second = 0;
    std::uint8_t minute = 0;
    std::uint8_t hour = 0;
    std::uint8_t day = 0;    // from 1; 0 means never set
    std::uint8_t month = 0;  // 1-12; 0 means never set
    std::uint16_t year = 0;

    friend bool operator==(const BuildDate&, const BuildDate&) = default;
};

[[nodiscard]] BuildDate SecondsToDate(std::uint32_t seconds) noexcept;
// The inverse, for writers and tests. Dates before 1970 or after 2106-02-07 are not
// representable and give 0.
[[nodiscard]] std::uint32_t DateToSeconds(const BuildDate& date) noexcept;
// Erased flash reads as all ones, which decodes to 2106-02-07 06:28:15: a region a unit holds
// nothing in, not a date.
[[nodiscard]] bool IsErasedDate(const BuildDate& date) noexcept;
// "YYYY-MM-DD hh:mm:ss".
[[nodiscard]] std::string FormatDate(const BuildDate& date);

}  // namespace kivrel
