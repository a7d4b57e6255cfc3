#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "tests/support/test_socket.h"

namespace kivrel::test {
namespace {

[[nodiscard]] bool WaitReadable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

// 127.0.0.1:`port`; port 0 lets the system pick one.
[[nodiscard]] sockaddr_in LoopbackAddress(std::uint16_t port) noexcept {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

TestSocket TestSocket::ListenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    TestSocket listener(fd);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    port = ntohs(address.sin_port);
    return listener;
}

TestSocket TestSocket::ConnectToLoopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    TestSocket connection(fd);
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
    return connection;
}

TestSocket TestSocket::Accept(int timeoutMs) const {
    if (!WaitReadable(static_cast<int>(native), timeoutMs)) return {};
    const int fd = ::accept4(static_cast<int>(native), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return {};
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return TestSocket(fd);
}

int TestSocket::Receive(void* data, std::size_t size, int timeoutMs) const {
    if (!WaitReadable(static_cast<int>(native), timeoutMs)) return kTimedOut;
    for (;;) {
        const ssize_t got = ::recv(static_cast<int>(native), data, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return kFailed;
        return static_cast<int>(got);
    }
}

bool TestSocket::SendAll(const void* data, std::size_t size) const {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(static_cast<int>(native), bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void TestSocket::ShutdownBoth() const noexcept {
    if (Valid()) ::shutdown(static_cast<int>(native), SHUT_RDWR);
}

void TestSocket::Close() noexcept {
    if (Valid()) ::close(static_cast<int>(std::exchange(native, kInvalid)));
}

}  // namespace kivrel::test
