#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <utility>

#include "tests/support/test_socket.h"

namespace kivrel::test {
namespace {

void StartWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    });
}

[[nodiscard]] SOCKET Handle(std::intptr_t native) noexcept {
    return static_cast<SOCKET>(native);
}

[[nodiscard]] bool WaitReadable(SOCKET socket, int timeoutMs) {
    WSAPOLLFD entry{};
    entry.fd = socket;
    entry.events = POLLRDNORM;
    return ::WSAPoll(&entry, 1, timeoutMs) > 0;
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
    StartWinsock();
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return {};
    TestSocket listener(static_cast<std::intptr_t>(socket));
    sockaddr_in address = LoopbackAddress(0);
    int length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket, 64) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    port = ntohs(address.sin_port);
    return listener;
}

TestSocket TestSocket::ConnectToLoopback(std::uint16_t port) {
    StartWinsock();
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return {};
    TestSocket connection(static_cast<std::intptr_t>(socket));
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};
    return connection;
}

TestSocket TestSocket::Accept(int timeoutMs) const {
    if (!WaitReadable(Handle(native), timeoutMs)) return {};
    const SOCKET socket = ::accept(Handle(native), nullptr, nullptr);
    if (socket == INVALID_SOCKET) return {};
    const BOOL on = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return TestSocket(static_cast<std::intptr_t>(socket));
}

int TestSocket::Receive(void* data, std::size_t size, int timeoutMs) const {
    if (!WaitReadable(Handle(native), timeoutMs)) return kTimedOut;
    const int got = ::recv(Handle(native), static_cast<char*>(data),
                           static_cast<int>(size > 0x10000000 ? 0x10000000 : size), 0);
    if (got < 0) return kFailed;
    return got;
}

bool TestSocket::SendAll(const void* data, std::size_t size) const {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const int chunk = static_cast<int>(size > 0x100000 ? 0x100000 : size);
        const int sent = ::send(Handle(native), bytes, chunk, 0);
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void TestSocket::ShutdownBoth() const noexcept {
    if (Valid()) ::shutdown(Handle(native), SD_BOTH);
}

void TestSocket::Close() noexcept {
    if (Valid()) ::closesocket(Handle(std::exchange(native, kInvalid)));
}

}  // namespace kivrel::test
