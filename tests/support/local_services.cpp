#include "tests/support/local_services.h"

#include <fstream>
#include <iterator>
#include <thread>

#include "tests/support/test_socket.h"

namespace kivrel::test {
namespace {

// Programs start within milliseconds; this bound only keeps a broken one from hanging a test.
constexpr auto kStartBound = std::chrono::seconds(10);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

}  // namespace

std::uint16_t LocalServices::FreePort() {
    std::uint16_t port = 0;
    TestSocket probe = TestSocket::ListenOnLoopback(port);
    return probe.Valid() ? port : 0;
}

std::string LocalServices::ProgramPath(const std::string& name) const {
    return programFolder + "/" + name;
}

std::filesystem::path LocalServices::LocalPath(const std::string& name) const {
    return localFolder / name;
}

bool LocalServices::WriteFile(const std::string& name, std::string_view text) const {
    std::ofstream out(LocalPath(name), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

std::string LocalServices::ReadFile(const std::string& name) const {
    std::ifstream in(LocalPath(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool LocalServices::PortsOpen(const std::vector<std::uint16_t>& ports,
                              const std::function<bool()>& stillRunning) {
    const auto end = std::chrono::steady_clock::now() + kStartBound;
    for (const std::uint16_t port : ports) {
        while (!TestSocket::ConnectToLoopback(port).Valid()) {
            if (!stillRunning() || std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    return true;
}

}  // namespace kivrel::test
