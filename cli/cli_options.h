#pragma once
// Options every `kivrel` command understands, wherever they stand on the command line.

#include <cstdint>
#include <string>

#include "net/proxy_settings.h"

namespace kivrel::cli {

struct GlobalOptions {
    std::string device = "hid";       // "hid" or "sim:DIR"
    std::string traceFile;            // empty: no trace
    bool yes = false;                 // answer every question with Yes
    bool json = false;                // machine-readable output where a command has it
    std::uint32_t timeoutMs = 30000;  // bound on one report's wait
    NetworkSettings network;          // --proxy, --ca-file: for every download
};

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

}  // namespace kivrel::cli
