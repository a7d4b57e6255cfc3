#pragma once
// A small HTTP/1.1 server for tests: it listens on 127.0.0.1 on a free port, serves bytes or
// files at paths, and can misbehave on purpose (a status, no Content-Length, credentials
// required, a slow body, a connection dropped part-way). It answers GET with keep-alive, takes
// "Range: bytes=N-" (and N-M) with 206 unless told not to, and honours If-Range. Requests in
// absolute form ("GET http://host/path", as sent to a proxy) are served by their path, so the
// server can stand in for a proxy too.
//
//     HttpTestServer server;
//     server.ServeText("/version.txt", "20160305\r\nhttp://.../db.zip\r\n");
//     HttpRoute slow{.body = bytes, .pieceBytes = 1024, .pieceDelay = 20ms};
//     server.Serve("/db.zip", slow);
//     ... download server.Url("/db.zip") ...
//     EXPECT_EQ(server.RequestCount("/db.zip"), 1u);

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/test_socket.h"

namespace kivrel::test {

struct HttpRoute {
    int status = 200;
    std::vector<std::uint8_t> body;
    // Without it the body ends when the server closes the connection.
    bool sendContentLength = true;
    // Answer "Range: bytes=N-" with 206 and the rest; otherwise send 200 and the whole body.
    bool honourRanges = true;
    // Sent when not empty; If-Range is compared with these.
    std::string etag;          // with its quotes, e.g. "\"v1\""
    std::string lastModified;  // an HTTP date
    // Close the connection after this many body bytes (counted from the range's start).
    std::optional<std::size_t> dropAfterBytes;
    // Send the body in pieces with a pause between them; 0 sends it at once.
    std::size_t pieceBytes = 0;
    std::chrono::milliseconds pieceDelay{0};
    // When set, requests without these Basic credentials get 401 (WWW-Authenticate) ...
    std::string user;
    std::string password;
    // ... or 407 (Proxy-Authenticate) for the proxy credentials.
    std::string proxyUser;
    std::string proxyPassword;
    std::vector<std::pair<std::string, std::string>> extraHeaders;
};

struct RecordedRequest {
    std::string method;
    std::string target;  // as on the request line
    std::string path;    // without scheme, host and query
    std::vector<std::pair<std::string, std::string>> headers;
    // The first header of that name (any case), or empty.
    [[nodiscard]] std::string Header(std::string_view name) const;
};

class HttpTestServer {
public:
    HttpTestServer();  // starts listening at once
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    [[nodiscard]] bool Started() const noexcept { return listener.Valid(); }
    [[nodiscard]] std::uint16_t Port() const noexcept { return port; }
    // "127.0.0.1:PORT", e.g. for a proxy setting.
    [[nodiscard]] std::string HostPort() const;
    // "http://127.0.0.1:PORT" + path.
    [[nodiscard]] std::string Url(std::string_view path) const;
    [[nodiscard]] std::wstring WideUrl(std::string_view path) const;

    // Serves `route` at `path` (replacing an earlier route). Unknown paths get 404.
    void Serve(const std::string& path, HttpRoute route);
    void ServeBytes(const std::string& path, std::vector<std::uint8_t> bytes);
    void ServeText(const std::string& path, std::string_view text);
    // Reads the file now; false when it cannot be read.
    [[nodiscard]] bool ServeFile(const std::string& path, const std::filesystem::path& file);

    [[nodiscard]] std::vector<RecordedRequest> Requests() const;
    [[nodiscard]] std::size_t RequestCount(std::string_view path) const;

    // Stops accepting, ends every connection and waits for the server's threads.
    void Stop();

private:
    void AcceptLoop();
    void ServeConnection(TestSocket connection);
    [[nodiscard]] bool Answer(const TestSocket& connection, const RecordedRequest& request,
                              bool& keepOpen);
    [[nodiscard]] std::shared_ptr<const HttpRoute> Find(const std::string& path) const;
    // False when the server is stopping.
    [[nodiscard]] bool Pause(std::chrono::milliseconds delay) const;

    TestSocket listener;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<const HttpRoute>> routes;
    std::vector<RecordedRequest> requests;
    std::vector<std::thread> connections;
    std::thread acceptor;
};

// Base64 of "user:password", as in a Basic Authorization header.
[[nodiscard]] std::string BasicCredentials(std::string_view user, std::string_view password);

// `count` bytes of a repeating, position-dependent pattern, so a misplaced piece shows.
[[nodiscard]] std::vector<std::uint8_t> PatternBytes(std::size_t count, std::uint8_t seed = 0);

}  // namespace kivrel::test
