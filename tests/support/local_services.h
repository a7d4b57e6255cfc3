#pragma once
// Real servers a test starts for itself on loopback (tinyproxy, nginx), and the tools that set
// them up (openssl), each time in a fresh folder holding the files the test writes: nothing is
// assumed to be running beforehand, and everything started is stopped, and the folder
// removed, when the object goes.
//
// Natively they are child processes. The Windows tests run under Wine, which starts the
// machine's own Unix programs as well, though without a process handle: there a pid file and
// marker files written by the shell stand in for one.
//
//     LocalServices services;
//     if (!LocalServices::Installed("/usr/bin/tinyproxy")) GTEST_SKIP() << "...";
//     const std::uint16_t port = LocalServices::FreePort();
//     services.WriteFile("proxy.conf", "Port " + std::to_string(port) + "\n...");
//     ASSERT_TRUE(services.Start("/usr/bin/tinyproxy -d -c proxy.conf", {port}));

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel::test {

// The servers and tools the tests start, where Debian installs them.
inline constexpr const char* kNginx = "/usr/sbin/nginx";
inline constexpr const char* kOpenssl = "/usr/bin/openssl";

class LocalServices {
public:
    LocalServices();
    ~LocalServices();
    LocalServices(const LocalServices&) = delete;
    LocalServices& operator=(const LocalServices&) = delete;

    // True when this machine has `program` (an absolute Unix path) and it can be started here.
    [[nodiscard]] static bool Installed(const std::string& program);
    // A loopback port nothing listens on at the moment.
    [[nodiscard]] static std::uint16_t FreePort();

    // `name` in the folder, as the programs see it (a Unix path; no quotes in it).
    [[nodiscard]] std::string ProgramPath(const std::string& name) const;
    // `name` in the folder, as this process opens it.
    [[nodiscard]] std::filesystem::path LocalPath(const std::string& name) const;
    [[nodiscard]] bool WriteFile(const std::string& name, std::string_view text) const;
    [[nodiscard]] std::string ReadFile(const std::string& name) const;

    // Runs `command` with /bin/sh in the folder; true when it exits with 0 within `timeout`.
    // The command must not contain double quotes.
    [[nodiscard]] bool Run(const std::string& command, std::chrono::milliseconds timeout);
    // Starts `command` with /bin/sh in the folder; it must exec the service (so stopping the
    // shell stops the service) and keep it in the foreground. True once each of `ports` takes
    // connections, within a few seconds.
    [[nodiscard]] bool Start(const std::string& command, const std::vector<std::uint16_t>& ports);

private:
    [[nodiscard]] static bool PortsOpen(const std::vector<std::uint16_t>& ports,
                                        const std::function<bool()>& stillRunning);
    void StopAll() noexcept;

    std::filesystem::path localFolder;
    std::string programFolder;
    [[maybe_unused]] int runs = 0;      // Windows: numbers each run's status marker
    std::vector<std::int64_t> started;  // process ids of the services
};

}  // namespace kivrel::test
