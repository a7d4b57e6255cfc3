#pragma once
// Just enough of TCP for the test server: a loopback listener and blocking connections with
// bounded waits. One implementation per platform (POSIX sockets, Winsock).

#include <cstddef>
#include <cstdint>
#include <utility>

namespace kivrel::test {

class TestSocket {
public:
    TestSocket() = default;
    ~TestSocket() { Close(); }
    TestSocket(TestSocket&& other) noexcept : native(std::exchange(other.native, kInvalid)) {}
    TestSocket& operator=(TestSocket&& other) noexcept {
        if (this != &other) {
            Close();
            native = std::exchange(other.native, kInvalid);
        }
        return *this;
    }
    TestSocket(const TestSocket&) = delete;
    TestSocket& operator=(const TestSocket&) = delete;

    // Listens on 127.0.0.1 on a port the system picks; invalid when that fails.
    [[nodiscard]] static TestSocket ListenOnLoopback(std::uint16_t& port);

    // A connection to 127.0.0.1:`port`, or an invalid socket when nothing listens there.
    [[nodiscard]] static TestSocket ConnectToLoopback(std::uint16_t port);

    // A connection accepted within `timeoutMs`, or an invalid socket.
    [[nodiscard]] TestSocket Accept(int timeoutMs) const;

    static constexpr int kClosed = 0;
    static constexpr int kFailed = -1;
    static constexpr int kTimedOut = -2;
    // Bytes received (> 0), kClosed, kFailed, or kTimedOut after `timeoutMs`.
    [[nodiscard]] int Receive(void* data, std::size_t size, int timeoutMs) const;
    [[nodiscard]] bool SendAll(const void* data, std::size_t size) const;
    void ShutdownBoth() const noexcept;
    void Close() noexcept;
    [[nodiscard]] bool Valid() const noexcept { return native != kInvalid; }

private:
    static constexpr std::intptr_t kInvalid = -1;
    explicit TestSocket(std::intptr_t handle) noexcept : native(handle) {}
    std::intptr_t native = kInvalid;
};

}  // namespace kivrel::test
