// Under Wine: CreateProcess starts a Unix program (here /bin/sh) but hands back no process
// handle, so the shell writes the service's pid and a command's exit status into the folder,
// and a service is stopped by another shell. The folder lies below Wine's Z: drive, which is
// the Unix root, so both sides reach it.

#include <windows.h>

#include <atomic>
#include <thread>

#include "tests/support/local_services.h"

namespace kivrel::test {
namespace {

constexpr auto kStopBound = std::chrono::seconds(3);
constexpr auto kMarkerPollInterval = std::chrono::milliseconds(20);

[[nodiscard]] std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

[[nodiscard]] bool LaunchShell(const std::string& script) {
    std::wstring commandLine = L"/bin/sh -c \"" + Widen(script) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return false;
    }
    if (process.hProcess != nullptr) ::CloseHandle(process.hProcess);
    if (process.hThread != nullptr) ::CloseHandle(process.hThread);
    return true;
}

}  // namespace

LocalServices::LocalServices() {
    static std::atomic<int> counter{0};
    const std::string name = "kivrel-services-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(counter++);
    localFolder = std::filesystem::path(L"Z:\\tmp") / name;
    programFolder = "/tmp/" + name;
    std::error_code ignored;
    std::filesystem::remove_all(localFolder, ignored);
    std::filesystem::create_directories(localFolder, ignored);
}

LocalServices::~LocalServices() {
    StopAll();
    std::error_code ignored;
    std::filesystem::remove_all(localFolder, ignored);
}

bool LocalServices::Installed(const std::string& program) {
    // Only Wine maps the Unix root to a drive; on Windows itself there is nothing to start.
    std::wstring path = L"Z:" + Widen(program);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
           ::GetFileAttributesW(L"Z:\\bin\\sh") != INVALID_FILE_ATTRIBUTES;
}

bool LocalServices::Run(const std::string& command, std::chrono::milliseconds timeout) {
    const std::string marker = "run-" + std::to_string(runs++) + ".status";
    // Written under another name and renamed, so a half-written status is never read.
    const std::string script = "cd '" + programFolder + "' && { " + command + " ; } ; echo $? > '" +
                               ProgramPath(marker) + ".part' && mv '" + ProgramPath(marker) +
                               ".part' '" + ProgramPath(marker) + "'";
    if (!LaunchShell(script)) return false;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!std::filesystem::exists(LocalPath(marker))) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(kMarkerPollInterval);
    }
    return ReadFile(marker) == "0\n";
}

bool LocalServices::Start(const std::string& command, const std::vector<std::uint16_t>& ports) {
    const std::string pidFile = "service-" + std::to_string(started.size()) + ".pid";
    if (!LaunchShell("cd '" + programFolder + "' && echo $$ > '" + pidFile + "' && exec " +
                     command)) {
        return false;
    }
    const bool open = PortsOpen(ports, [] { return true; });
    std::int64_t pid = 0;
    try {
        pid = std::stoll(ReadFile(pidFile));
    } catch (...) {
        return false;
    }
    started.push_back(pid);
    return open;
}

void LocalServices::StopAll() noexcept {
    try {
        for (const std::int64_t pid : started) {
            const std::string id = std::to_string(pid);
            // Waits for the end as well, so the next test finds the ports free. The service
            // was handed to the system's first process, which may leave it a zombie: that
            // counts as ended.
            (void)Run("kill " + id + "; i=0; while ps -o stat= -p " + id +
                          " | grep -q '^[^Z]' && [ $i -lt 100 ]; do sleep 0.03; i=$((i+1)); done",
                      std::chrono::duration_cast<std::chrono::milliseconds>(kStopBound));
        }
    } catch (...) {
    }
    started.clear();
}

}  // namespace kivrel::test
