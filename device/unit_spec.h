#pragma once
// Which unit to talk to, as the command line names it: "hid" (the first unit 0416:B500 this
// computer's discovery finds) or "sim:DIR" (the simulated unit kept in DIR), optionally
// recorded in a trace file. Both programs (Kivrel.exe and kivrel) take the same names.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "device/hid_transport.h"

namespace kivrel {

inline constexpr std::string_view kUnitSpecHid = "hid";
inline constexpr std::string_view kUnitSpecSimPrefix = "sim:";

// "hid", or "sim:" followed by a directory.
[[nodiscard]] bool IsUnitSpec(std::string_view spec) noexcept;

// Opens the unit `spec` names, wrapped in the trace decorator when `traceFile` is not empty.
// Null with `error` set when it cannot be opened. `spec` and `traceFile` are UTF-8.
[[nodiscard]] std::unique_ptr<HidTransport> OpenUnitSpec(std::string_view spec,
                                                         std::string_view traceFile,
                                                         std::string& error);

}  // namespace kivrel
