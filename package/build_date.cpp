#include "package/build_date.h"

#include <cstdio>

namespace kivrel {
namespace {

constexpr std::uint32_t kSecondsPerDay = 86400;

constexpr bool IsLeapYear(std::uint32_t year) noexcept {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr std::uint32_t DaysInMonth(std::uint32_t year, std::uint32_t month) noexcept {
    constexpr std::uint8_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

BuildDate SecondsToDate(std::uint32_t seconds) noexcept {
    std::uint32_t year = 1970;
    for (;;) {
        const std::uint32_t yearSeconds = (IsLeapYear(year) ? 366u : 365u) * kSecondsPerDay;
        if (seconds < yearSeconds) break;
        seconds -= yearSeconds;
        ++year;
    }
    std::uint32_t month = 1;
    for (;;) {
        const std::uint32_t monthSeconds = DaysInMonth(year, month) * kSecondsPerDay;
        if (seconds < monthSeconds) break;
        seconds -= monthSeconds;
        ++month;
    }
    BuildDate date;
    date.year = static_cast<std::uint16_t>(year);
    date.month = static_cast<std::uint8_t>(month);
    date.day = static_cast<std::uint8_t>(seconds / kSecondsPerDay + 1);
    seconds %= kSecondsPerDay;
    date.hour = static_cast<std::uint8_t>(seconds / 3600);
    date.minute = static_cast<std::uint8_t>(seconds % 3600 / 60);
    date.second = static_cast<std::uint8_t>(seconds % 60);
    return date;
}

std::uint32_t DateToSeconds(const BuildDate& date) noexcept {
    if (date.year < 1970 || date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > DaysInMonth(date.year, date.month) || date.hour > 23 || date.minute > 59 ||
        date.second > 59) {
        return 0;
    }
    std::uint64_t days = 0;
    for (std::uint32_t y = 1970; y < date.year; ++y) days += IsLeapYear(y) ? 366 : 365;
    for (std::uint32_t m = 1; m < date.month; ++m) days += DaysInMonth(date.year, m);
    days += date.day - 1u;
    const std::uint64_t total =
        days * kSecondsPerDay + date.hour * 3600u + date.minute * 60u + date.second;
    return total > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(total);
}

std::string FormatDate(const BuildDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{date.year},
                  unsigned{date.month}, unsigned{date.day}, unsigned{date.hour},
                  unsigned{date.minute}, unsigned{date.second});
    return text;
}

bool IsErasedDate(const BuildDate& date) noexcept {
    return date == SecondsToDate(0xFFFFFFFFu);
}

}  // namespace kivrel
