// Child processes of the test: /bin/sh started with posix_spawn, waited for with waitpid.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "tests/support/local_services.h"

extern char** environ;

namespace kivrel::test {
namespace {

constexpr auto kStopBound = std::chrono::seconds(3);
constexpr auto kExitPollInterval = std::chrono::milliseconds(10);

[[nodiscard]] pid_t SpawnShell(const std::string& script) {
    std::string shell = "/bin/sh";
    std::string flag = "-c";
    std::string text = script;
    char* argv[] = {shell.data(), flag.data(), text.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return -1;
    return pid;
}

// The exit status once the process has ended within `bound`; -1 when it is still running.
[[nodiscard]] int WaitFor(pid_t pid, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        if (done < 0) return 128;
        if (std::chrono::steady_clock::now() > end) return -1;
        std::this_thread::sleep_for(kExitPollInterval);
    }
}

void Stop(pid_t pid) noexcept {
    ::kill(pid, SIGTERM);
    if (WaitFor(pid, std::chrono::duration_cast<std::chrono::milliseconds>(kStopBound)) >= 0) {
        return;
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace

LocalServices::LocalServices() {
    static std::atomic<int> counter{0};
    localFolder =
        std::filesystem::temp_directory_path() /
        ("kivrel-services-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(localFolder);
    std::filesystem::create_directories(localFolder);
    programFolder = localFolder.string();
}

LocalServices::~LocalServices() {
    StopAll();
    std::error_code ignored;
    std::filesystem::remove_all(localFolder, ignored);
}

bool LocalServices::Installed(const std::string& program) {
    return ::access(program.c_str(), X_OK) == 0;
}

bool LocalServices::Run(const std::string& command, std::chrono::milliseconds timeout) {
    const pid_t pid = SpawnShell("cd '" + programFolder + "' && " + command);
    if (pid < 0) return false;
    const int status = WaitFor(pid, timeout);
    if (status < 0) Stop(pid);
    return status == 0;
}

bool LocalServices::Start(const std::string& command, const std::vector<std::uint16_t>& ports) {
    const pid_t pid = SpawnShell("cd '" + programFolder + "' && exec " + command);
    if (pid < 0) return false;
    started.push_back(pid);
    return PortsOpen(ports, [pid] { return ::waitpid(pid, nullptr, WNOHANG) == 0; });
}

void LocalServices::StopAll() noexcept {
    for (const std::int64_t pid : started) Stop(static_cast<pid_t>(pid));
    started.clear();
}

}  // namespace kivrel::test
