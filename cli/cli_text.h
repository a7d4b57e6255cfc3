#pragma once
// Small text helpers the commands share.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace kivrel::cli {

// Lowercase hexadecimal digits of each byte, in order.
[[nodiscard]] std::string Hex(std::span<const std::uint8_t> bytes);
// "%08x".
[[nodiscard]] std::string Hex32(std::uint32_t value);
// "2024-05-01T08:00:00Z".
[[nodiscard]] std::string UtcTimeText(std::chrono::system_clock::time_point when);
// "20240501-100000", in the computer's local time: for file names a user sorts and finds.
[[nodiscard]] std::string LocalTimeStamp(std::chrono::system_clock::time_point when);
// Splits "KEY=VALUE" at the first '='; false without one or with nothing before it.
[[nodiscard]] bool SplitAssignment(const std::string& text, std::string& key, std::string& value);
// Says "kivrel: TEXT" on standard error; returns the exit status of a failed command.
int Fail(const std::string& text);
// A path named on the command line, for the standard library's files.
[[nodiscard]] std::filesystem::path ArgumentPath(std::string_view argument);

}  // namespace kivrel::cli
