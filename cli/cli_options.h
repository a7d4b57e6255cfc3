#pragma once
// Options every `kivrel` command understands, wherever they stand on the command line.

#include <cstdint>
#include <string>

#include "base/disk_space.h"
#include "net/proxy_settings.h"

namespace kivrel {
struct VendorConfig;
}  // namespace kivrel

namespace kivrel::cli {

// What a run takes from its surroundings rather than from its command line: the build's vendor
// tables and the disk's free space. Tests give their own.
struct CliEnvironment {
    const VendorConfig* vendor = nullptr;  // null: the build's own
    FreeSpaceQuery freeSpace = nullptr;    // null: the system's
};

struct GlobalOptions {
    std::string device = "hid";       // "hid" or "sim:DIR"
    std::string traceFile;            // empty: no trace
    bool yes = false;                 // answer every question with Yes
    bool json = false;                // machine-readable output where a command has it
    std::uint32_t timeoutMs = 30000;  // bound on one report's wait
    NetworkSettings network;          // --proxy, --ca-file: for every download
    CliEnvironment environment;

    [[nodiscard]] const VendorConfig& Vendor() const noexcept;
    [[nodiscard]] std::optional<std::uint64_t> FreeSpace(const std::wstring& folder) const;
};

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

}  // namespace kivrel::cli
