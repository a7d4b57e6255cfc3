#include "cli/cli_text.h"

#include <cstdio>
#include <ctime>
#include <iostream>

#include "base/ascii_text.h"
#include "base/native_path.h"
#include "cli/cli_options.h"

namespace kivrel::cli {

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += HexDigit(b >> 4);
        text += HexDigit(b);
    }
    return text;
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

std::string UtcTimeText(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(when);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss time{seconds - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string LocalTimeStamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    char text[32] = "";
    // The command line runs one command on one thread, so localtime's shared result is safe.
    if (const std::tm* local = std::localtime(&seconds)) {
        (void)std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", local);
    }
    return text;
}

std::filesystem::path ArgumentPath(std::string_view argument) {
    return NativePath(WidePathFromArgument(argument));
}

bool SplitAssignment(const std::string& text, std::string& key, std::string& value) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    key = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

int Fail(const std::string& text) {
    std::cerr << "kivrel: " << text << '\n';
    return kExitFailure;
}

}  // namespace kivrel::cli
