// Archivers on Linux and macOS: found on PATH, run with no terminal, waited for with a bound.

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "base/native_path.h"
#include "update/staging.h"

extern char** environ;

namespace kivrel {
namespace {

// Searched when PATH is not set, as the shell does.
constexpr const char* kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";

[[nodiscard]] bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

class PosixPathSystem final : public PathSystem {
public:
    bool FindProgram(std::wstring_view name, std::wstring& path,
                     std::wstring& resolvedName) override {
        std::string nativeName;
        if (!NativeFromWide(name, nativeName)) return false;
        const char* searchPath = std::getenv("PATH");
        std::string_view folders = searchPath != nullptr ? searchPath : kDefaultSearchPath;
        while (!folders.empty()) {
            const std::size_t colon = folders.find(':');
            const std::string_view folder = folders.substr(0, colon);
            folders =
                colon == std::string_view::npos ? std::string_view{} : folders.substr(colon + 1);
            // Empty and relative entries mean the current folder: never run an archiver
            // from wherever the tool happens to be started.
            if (folder.empty() || folder.front() != '/') continue;
            std::string candidate(folder);
            if (candidate.back() != '/') candidate += '/';
            candidate += nativeName;
            if (candidate.size() >= PATH_MAX || !IsExecutableFile(candidate)) continue;
            char resolved[PATH_MAX];
            std::string_view finalName = nativeName;
            if (::realpath(candidate.c_str(), resolved) != nullptr) {
                finalName = resolved;
                finalName = finalName.substr(finalName.rfind('/') + 1);
            }
            path = WideFromNative(candidate);
            resolvedName = WideFromNative(finalName);
            return true;
        }
        return false;
    }

    void MakeFolder(const std::wstring& path) override {
        static_cast<void>(SystemStagingFiles().MakeFolder(path));
    }
};

struct SpawnSettings {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    bool ready = false;

    SpawnSettings() {
        if (::posix_spawn_file_actions_init(&actions) != 0) return;
        if (::posix_spawnattr_init(&attributes) != 0) {
            ::posix_spawn_file_actions_destroy(&actions);
            return;
        }
        ready = true;
    }
    ~SpawnSettings() {
        if (!ready) return;
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // No terminal: input from /dev/null, output discarded, and a session of its own so that
    // a prompt on /dev/tty fails instead of waiting. Signals as a fresh program expects them.
    [[nodiscard]] bool Configure() {
        if (!ready) return false;
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
        flags |= POSIX_SPAWN_SETSID;
#else
        flags |= POSIX_SPAWN_SETPGROUP;
        if (::posix_spawnattr_setpgroup(&attributes, 0) != 0) return false;
#endif
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) {
            sigaddset(&defaults, signal);
        }
        return ::posix_spawnattr_setflags(&attributes, flags) == 0 &&
               ::posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
               ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               ::posix_spawn_file_actions_adddup2(&actions, 1, 2) == 0;
    }
};

[[nodiscard]] std::uint32_t ExitCodeOf(int status) {
    if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    return kArchiverTimedOut;
}

class PosixArchivers final : public Archivers {
public:
    explicit PosixArchivers(std::uint32_t waitLimitMs) : waitLimit(waitLimitMs) {}

    bool FindArchiver(const std::wstring& destinationFolder, const std::wstring& archivePath,
                      std::wstring& executable, std::wstring& arguments) override {
        PosixPathSystem system;
        return FindPathArchiver(system, destinationFolder, archivePath, executable, arguments);
    }

    bool RunArchiver(const std::wstring& arguments, const std::wstring& executable,
                     std::uint32_t& exitCode) override {
        std::vector<std::string> pieces(1);
        if (!NativeFromWide(executable, pieces[0]) || pieces[0].empty() ||
            pieces[0].size() >= PATH_MAX) {
            return false;
        }
        for (const std::wstring& argument : SplitArguments(arguments)) {
            if (!NativeFromWide(argument, pieces.emplace_back())) return false;
        }
        std::vector<char*> argv;
        for (std::string& piece : pieces) argv.push_back(piece.data());
        argv.push_back(nullptr);

        SpawnSettings settings;
        if (!settings.Configure()) return false;
        pid_t child = 0;
        if (::posix_spawn(&child, pieces[0].c_str(), &settings.actions, &settings.attributes,
                          argv.data(), environ) != 0) {
            return false;
        }
        int status = 0;
        if (WaitFor(child, status)) {
            exitCode = ExitCodeOf(status);
            return true;
        }
        // The child leads its own process group: end whatever it started as well.
        ::kill(-child, SIGKILL);
        ::kill(child, SIGKILL);
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        exitCode = kArchiverTimedOut;
        return false;
    }

private:
    // True when the child ended within the wait limit.
    [[nodiscard]] bool WaitFor(pid_t child, int& status) const {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point end = Clock::now() + waitLimit;
        auto pause = std::chrono::milliseconds(1);
        for (;;) {
            const pid_t done = ::waitpid(child, &status, WNOHANG);
            if (done == child) return true;
            if (done < 0 && errno != EINTR) return true;  // already reaped: nothing to wait for
            if (Clock::now() >= end) return false;
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(50));
        }
    }

    std::chrono::milliseconds waitLimit;
};

}  // namespace

std::unique_ptr<Archivers> MakeSystemArchivers(std::uint32_t waitLimitMs) {
    return std::make_unique<PosixArchivers>(waitLimitMs);
}

}  // namespace kivrel
